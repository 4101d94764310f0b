/* Resource ids of qx700.exe, shared by the C++ sources and qx700.rc.
   Plain #defines only: windres reads this file through the C preprocessor. */
#ifndef QX700_RESOURCES_RESOURCE_H
#define QX700_RESOURCES_RESOURCE_H

/* Icons: the window class's large icon (also the file's icon in the shell)
   and its small icon. */
#define IDI_APP_LARGE 108
#define IDI_APP_SMALL 109

/* Accelerator table of the main window's message loop. */
#define IDR_ACCELERATORS 133

/* Accelerators of the main window's file commands (Ctrl keys), applied by the
   main window itself while no configuration window is open. */
#define IDR_FILE_ACCELERATORS 134

/* The logo at the top left of the main window, 165 x 52, 24 bits per pixel,
   and the same logo drawn for displays scaled to 125, 150 and 200 %:
   206 x 65, 248 x 78 and 330 x 104 (165 x 52 scaled with MulDiv). */
#define IDB_LOGO 136
#define IDB_LOGO_125 137
#define IDB_LOGO_150 138
#define IDB_LOGO_200 139

/* Command ids that the accelerators put into WM_COMMAND's low word. */
#define ID_CMD_REFERENCE 32772
#define ID_CMD_ANALYZE 32773
#define ID_CMD_PAUSE 32774
#define ID_CMD_CONFIG 32775
#define ID_CMD_LINECONTROL 32776
#define ID_CMD_RECORDER 32780
#define ID_CMD_DEFAULTS 32781
/* Commands of the menu bar that no button had: the user guide (also F1),
   the Measurement dialog (also Alt+M) and the end of the program. */
#define ID_CMD_USER_GUIDE 32783
#define ID_CMD_MEASURE 32784
#define ID_CMD_EXIT 32785
#define ID_CMD_CLEAR_MARKERS 32786
/* The markers from the keyboard (Edit menu). */
#define ID_CMD_MARKER_AT_PEAK 32787
#define ID_CMD_MARKER_LEFT 32788
#define ID_CMD_MARKER_RIGHT 32789
#define ID_CMD_MARKER_REMOVE 32790
/* The View menu: the logarithmic frequency axis (a check item) and the band
   view (narrow band, octave bands, third-octave bands). */
#define ID_CMD_LOG_AXIS 32791
#define ID_CMD_VIEW_NARROW 32792
#define ID_CMD_VIEW_OCTAVES 32793
#define ID_CMD_VIEW_THIRDS 32794

/* "About QX-700..." in the main window's system menu (a system command id:
   a multiple of 16 below 0xF000); the Help menu gives the same id as
   WM_COMMAND. */
#define ID_SYS_ABOUT 0x0FA0

/* The main window's file commands (also its system-menu items): multiples of
   16 below 0xF000. */
#define ID_CMD_SAVE_MEASUREMENT 0x7100
#define ID_CMD_OPEN_REFERENCE 0x7110
#define ID_CMD_COPY_READOUTS 0x7120
#define ID_CMD_COPY_PICTURE 0x7130
#define ID_CMD_SAVE_PICTURE 0x7140
#define ID_CMD_SOUND_DEVICES 0x7150

#endif
