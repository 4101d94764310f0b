// The main window's file commands: Save Measurement, Open Reference, Copy
// Readouts, Copy Picture and Save Picture.
//
// How it works
// - Save Measurement asks for the path, then takes a snapshot (the newest
//   display buffer, held through the store while its spectra are copied, and
//   the band levels) and writes it with measurement_file::format and
//   writeFileAtomically. Capture goes on meanwhile: the snapshot holds no lock.
// - Files are written with writeFileAtomically and read with readWholeFile
//   (FileIo.h): a temporary file renamed over the target, long paths.
// - Open Reference reads the whole file (limited in size), checks it with
//   measurement_file::parse, compares its sampling settings with the current
//   ones (a Reference is only ever compared at the same settings: the user may
//   switch to the file's, or nothing happens), fills the store's
//   ReferenceImport and gives the engine LoadReference. The engine's worker
//   stops any capture and puts the spectrum where a measured Reference goes.
// - The pictures are the client area as the screen shows it, copied after a
//   synchronous repaint: a bottom-up 24-bit DIB for the clipboard (CF_DIB),
//   the same pixels encoded as PNG by the system's imaging component (WIC).
// - Everything runs on the UI thread; the capture thread is never waited for.
#include "mainwindow/MainWindow.h"

#include <commdlg.h>
#include <mmsystem.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/Levels.h"
#include "foundation/MeasurementFile.h"
#include "foundation/AnalysisSettings.h"
#include "foundation/ParameterStore.h"
#include "foundation/Owned.h"
#include "foundation/SystemError.h"
#include "mainwindow/DevicesDialog.h"
#include "mainwindow/FileIo.h"
#include "mainwindow/MainWindowText.h"
#include "qx_version.h"
#include "resources/resource.h"

namespace mf = measurement_file;

namespace {

// The octave or third-octave bands of the band view in use, with the
// engine's levels for them: none in the narrow-band view or before the
// engine listed the bands for the current settings.
int viewBands(const ParameterStore& s, std::vector<mf::FractionalBand>& out)
{
    out.clear();
    const ShownBands shown = shownBands(s);
    for (int i = 0; shown.bands && i < shown.bands->count; ++i) {
        mf::FractionalBand band;
        band.nominal = shown.bands->band[i].nominal;
        band.reference = shown.readings->half[0].bandLevel(shown.bandsPerOctave, i);
        band.analysis = shown.readings->half[1].bandLevel(shown.bandsPerOctave, i);
        band.measurable = shown.bands->band[i].measurable;
        out.push_back(band);
    }
    return shown.bandsPerOctave;
}

// The client area as the screen shows it, 24 bits per pixel, rows padded to
// four bytes. topDown: first row first (PNG), else bottom-up (CF_DIB).
bool clientPixels(HWND window, bool topDown, BITMAPINFOHEADER& header, std::vector<BYTE>& bits)
{
    // Whatever a closing menu or dialog covered is painted first.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;
    if (w <= 0 || h <= 0)
        return false;
    const WindowDc windowDc(window);
    if (!windowDc)
        return false;
    const MemoryDc memory(CreateCompatibleDC(windowDc.get()));
    const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(windowDc.get(), w, h));
    bool ok = memory && bitmap;
    if (ok) {
        HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
        ok = BitBlt(memory.get(), 0, 0, w, h, windowDc.get(), 0, 0, SRCCOPY) != 0;
        SelectObject(memory.get(), old);
    }
    if (ok) {
        header = BITMAPINFOHEADER{};
        header.biSize = sizeof header;
        header.biWidth = w;
        header.biHeight = topDown ? -h : h;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
        header.biSizeImage = stride * static_cast<DWORD>(h);
        bits.assign(header.biSizeImage, 0);
        BITMAPINFO info{};
        info.bmiHeader = header;
        ok = GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(h), bits.data(), &info, DIB_RGB_COLORS) == h;
        header.biHeight = topDown ? -h : h;
    }
    return ok;
}

// 24-bit BGR rows, top-down, as PNG file bytes through WIC.
bool encodePng(const BITMAPINFOHEADER& header, const std::vector<BYTE>& bits, std::string& png,
               std::wstring& reason)
{
    const ComScope com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    const UINT w = static_cast<UINT>(header.biWidth);
    const UINT h = static_cast<UINT>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
    const UINT stride = ((w * 3 + 3) / 4) * 4;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(factory.receive()));
    if (SUCCEEDED(hr))
        hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.receive());
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.receive());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.receive(), nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(w, h);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR)
        hr = E_FAIL;  // the PNG encoder always takes 24-bit BGR
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(h, stride, static_cast<UINT>(bits.size()), const_cast<BYTE*>(bits.data()));
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(hr))
        hr = GetHGlobalFromStream(stream.get(), &memory);
    STATSTG stat{};
    if (SUCCEEDED(hr))
        hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (SUCCEEDED(hr)) {
        // The stream owns the memory; it is only read here.
        const GlobalLockScope locked(memory);
        if (locked)
            png.assign(static_cast<const char*>(locked.data()), static_cast<size_t>(stat.cbSize.QuadPart));
        else
            hr = HRESULT_FROM_WIN32(locked.error());
    }
    if (FAILED(hr))
        reason = systemErrorText(static_cast<DWORD>(hr));
    return SUCCEEDED(hr);
}

// Puts one block of memory on the clipboard in `format`.
bool putOnClipboard(HWND owner, UINT format, const void* data, size_t size, std::wstring& reason)
{
    GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) {
        reason = systemErrorText(GetLastError());
        return false;
    }
    {
        const GlobalLockScope locked(block.get());
        if (!locked) {
            reason = systemErrorText(locked.error());
            return false;
        }
        memcpy(locked.data(), data, size);
    }
    // Another program may hold the clipboard for a moment.
    bool open = false;
    for (int attempt = 0; attempt < 10 && !(open = OpenClipboard(owner) != 0); ++attempt)
        Sleep(20);
    if (!open) {
        reason = systemErrorText(GetLastError());
        return false;
    }
    EmptyClipboard();
    const bool ok = SetClipboardData(format, block.get()) != nullptr;
    if (ok)
        block.release();  // the clipboard owns it now
    else
        reason = systemErrorText(GetLastError());
    CloseClipboard();
    return ok;
}

const wchar_t* const kCsvFilter = L"Measurements (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
const wchar_t* const kPngFilter = L"PNG pictures (*.png)\0*.png\0All files (*.*)\0*.*\0";

}  // namespace

// ---------------------------------------------------------------------------

bool MainWindow::fileCommand(int id)
{
    switch (id) {
    case ID_CMD_SAVE_MEASUREMENT:
        saveMeasurement();
        return true;
    case ID_CMD_OPEN_REFERENCE:
        openReference();
        return true;
    case ID_CMD_COPY_READOUTS:
        copyReadouts();
        return true;
    case ID_CMD_COPY_PICTURE:
        copyPicture();
        return true;
    case ID_CMD_SAVE_PICTURE:
        savePicture();
        return true;
    case ID_CMD_SOUND_DEVICES:
        openDevicesDialog();
        return true;
    }
    return false;
}

void MainWindow::fileError(const wchar_t* caption, const std::wstring& text)
{
    MessageBoxW(handle_, text.c_str(), caption, MB_ICONWARNING | MB_OK);
}

void MainWindow::saveMeasurement()
{
    ParameterStore* s = parameterStore();
    if (!s || s->get(Param::DataPresent) == 0) {
        fileError(L"Save Measurement", L"There is no measurement to save yet: measure a Reference first.");
        return;
    }
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::wstring name = wide(mf::defaultFileName(now.wYear, now.wMonth, now.wDay, now.wHour,
                                                       now.wMinute, now.wSecond));
    const std::wstring path = fileDialog(handle_, true, L"Save Measurement", kCsvFilter, L"csv", name);
    if (!path.empty())
        saveMeasurementTo(path);
}

bool MainWindow::saveMeasurementTo(const std::wstring& path)
{
    ParameterStore* s = parameterStore();
    if (!s)
        return false;
    mf::Measurement m;
    m.program = std::string("QX-700 ") + QX_VERSION_TEXT;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone{};
    const DWORD zoneKind = GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (zoneKind == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    else if (zoneKind == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    m.date = mf::isoDateTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                             zoneKind == TIME_ZONE_ID_INVALID ? 0 : -bias);
    m.sampFrq = s->get(Param::SampFrq);
    m.numSamples = s->get(Param::NumSamples);
    m.intLvl = s->get(Param::IntLvl);
    for (int i = 0; i < 4; ++i)
        m.filters[i] = s->get(Param::Filter0 + i);
    m.dbDiff = s->get(Param::DbDiff);
    m.device = utf8(recordingDeviceInUse(*s));
    // How the levels were taken, and what can be trusted of them.
    const MeasurementRecord record = measurementRecord(*s);
    m.window = record.windowName;
    m.levelUnit = record.levelUnit;
    if (record.calibrationState != CalibrationState::None) {
        char text[96];
        const int d = record.calibrationDate;
        std::snprintf(text, sizeof text, "offset %.2f dB, %04d-%02d-%02d%s",
                      record.calibrationOffset / 100.0, d / 10000, d / 100 % 100, d % 100,
                      record.calibrationState == CalibrationState::Stale ? ", stale" : "");
        m.calibration = text;
    }
    m.clippedSamples = record.clippedSamples;
    m.lostBlocks = record.lostBlocks;
    m.micFile = utf8(s->micResponse().name());
    m.micChecksum = s->micResponse().checksum();

    // The newest display buffer, held while its spectra are copied.
    const int index = s->get(Param::DataPresent) != 0 ? s->acquireLatestDisplayBuffer() : -1;
    if (index < 0 || index > 2 || m.numSamples < 2 || m.numSamples > MaxSamples) {
        if (index >= 0)
            s->releaseDisplayBuffers();
        fileError(L"Save Measurement", L"There is no measurement to save yet: measure a Reference first.");
        return false;
    }
    const DisplayBuffer& b = s->displayBuffers()[index];
    const size_t bins = static_cast<size_t>(m.numSamples / 2);
    m.reference.assign(b.reference().spectrum, b.reference().spectrum + bins);
    const bool analysis = s->get(Param::RefMode) == 0;
    if (analysis) {
        m.analysis.assign(b.analysis().spectrum, b.analysis().spectrum + bins);
        for (int i = 0; i < 3; ++i) {
            m.sourceCells[i] = utf8(sourceLevelText(record.source[i]));
            m.sourceValidity[i] = sourceValidityName(record.source[i].validity);
        }
    }
    const float* ref = s->pointer<const float*>(Param::RefBandLevels);
    const float* ana = s->pointer<const float*>(Param::AnaBandLevels);
    for (int i = 0; i < 3; ++i) {
        m.referenceBands[i] = ref ? ref[i] : 0.0f;
        m.analysisBands[i] = ana ? ana[i] : 0.0f;
    }
    // How the levels were weighted and averaged, the band totals and the
    // overall levels, and the maximum hold when one was kept.
    const int weighting = s->get(Option::Weighting);
    m.weighting = weightingName(weighting);
    if (weighting == WeightingKind::A || weighting == WeightingKind::C)
        m.levelUnit = std::string("dB(") + m.weighting + ")" +
                      (record.calibrationState != CalibrationState::None ? " SPL" : "");
    const Readings* readings = s->pointer<const Readings*>(Param::Readings);
    if (s->get(Option::Averaging) == AveragingKind::Linear) {
        m.averaging = "Linear (Leq)";
        m.leqSeconds = readings ? readings->elapsedSeconds : 0.0;
    }
    if (readings) {
        m.hasTotals = true;
        for (int i = 0; i < 3; ++i) {
            m.referenceTotals[i] = readings->half[0].bandTotal[i];
            m.analysisTotals[i] = readings->half[1].bandTotal[i];
            m.referenceOverall[i] = readings->half[0].overall[i];
            m.analysisOverall[i] = readings->half[1].overall[i];
        }
    }
    if (b.maxHoldBins >= static_cast<int>(bins))
        m.maxHold.assign(b.maxHold, b.maxHold + bins);
    m.bandsPerOctave = viewBands(*s, m.fractionalBands);
    s->releaseDisplayBuffers();

    std::wstring reason;
    if (!writeFileAtomically(path, mf::format(m), reason)) {
        fileError(L"Save Measurement", L"The measurement could not be saved to\n" + path + L"\n\n" + reason);
        return false;
    }
    return true;
}

void MainWindow::openReference()
{
    const std::wstring path = fileDialog(handle_, false, L"Open Reference", kCsvFilter, L"csv", std::wstring());
    if (!path.empty())
        openReferenceFrom(path);
}

bool MainWindow::openReferenceFrom(const std::wstring& path)
{
    ParameterStore* s = parameterStore();
    if (!s)
        return false;
    std::string bytes;
    std::wstring reason;
    // One byte more than the parser takes tells it the file is too large.
    if (!readWholeFile(path, bytes, reason, mf::kMaxFileBytes + 1)) {
        fileError(L"Open Reference", L"The file could not be read:\n" + path + L"\n\n" + reason);
        return false;
    }
    mf::Measurement m;
    mf::ParseError error;
    if (!mf::parse(bytes.data(), bytes.size(), m, error)) {
        fileError(L"Open Reference", L"This file cannot be used as a Reference:\n" + path + L"\n\n" +
                                         wide(mf::errorText(error)));
        return false;
    }
    // Levels of another window function differ by its corrections: never
    // compared across windows.
    const char* window = windowNameAscii(s->get(Param::WindowFunction));
    if (m.window != window) {
        fileError(L"Open Reference",
                  L"This file cannot be used as a Reference now:\n" + path +
                      L"\n\nIt was measured with the " + wide(m.window) +
                      L" window; the analyzer uses the " + wide(window) +
                      L" window.\n\nChoose the " + wide(m.window) +
                      L" window in Measure... and open the file again.");
        return false;
    }
    // Nor across microphone responses: the file names the one it was taken
    // with by its checksum.
    const std::string micChecksum = s->micResponse().checksum();
    if (m.micChecksum != micChecksum) {
        const std::wstring theirs = m.micChecksum.empty() ? L"no microphone file"
                                                          : L"the microphone file " + wide(m.micFile);
        const std::wstring ours = micChecksum.empty()
                                      ? L"no microphone file"
                                      : L"the microphone file " + s->micResponse().name();
        fileError(L"Open Reference", L"This file cannot be used as a Reference now:\n" + path +
                                         L"\n\nIt was measured with " + theirs +
                                         L"; the analyzer uses " + ours +
                                         L".\n\nLoad the same microphone file (Ctrl+D) and open "
                                         L"the file again.");
        return false;
    }
    const int rate = s->get(Param::SampFrq);
    const int n = s->get(Param::NumSamples);
    if (m.sampFrq != rate || m.numSamples != n) {
        wchar_t question[512];
        swprintf(question, sizeof question / sizeof question[0],
                 L"This Reference was measured at %d Hz with %d samples; the analyzer is set to "
                 L"%d Hz with %d samples. A Reference is only compared at its own settings.\n\n"
                 L"Switch to %d Hz and %d samples and open it?",
                 m.sampFrq, m.numSamples, rate, n, m.sampFrq, m.numSamples);
        if (MessageBoxW(handle_, question, L"Open Reference", MB_ICONQUESTION | MB_YESNO) != IDYES)
            return false;
    }
    {
        ReferenceImport& in = s->referenceImport();
        std::lock_guard<std::mutex> hold(in.lock);
        in.sampFrq = m.sampFrq;
        in.numSamples = m.numSamples;
        in.bins = static_cast<int>(m.reference.size());
        // Levels saved under another weighting are converted on the way in.
        in.weighting = m.weighting == "A" ? WeightingKind::A
                       : m.weighting == "C" ? WeightingKind::C
                                            : WeightingKind::Z;
        std::copy(m.reference.begin(), m.reference.end(), in.spectrum);
    }
    if (owner_)
        owner_->notify(Notification(Code::LoadReference));
    showReferenceSource(fileNameOf(path), m.date);
    return true;
}

void MainWindow::showReferenceSource(const std::wstring& fileName, const std::string& date)
{
    if (!handle_)
        return;
    std::wstring title = std::wstring(defaultTitle()) + L" - Reference: " + fileName;
    const std::string when = mf::shortDate(date);
    if (!when.empty())
        title += L" (" + wide(when) + L")";
    SetWindowTextW(handle_, title.c_str());
    referenceFromFile_ = true;
}

void MainWindow::forgetReferenceSource()
{
    if (!referenceFromFile_ || !handle_)
        return;
    SetWindowTextW(handle_, defaultTitle());
    referenceFromFile_ = false;
}

// What the band table shows, with the window's own captions: the band line
// with the limits, the band captions, then each row's caption (with its unit
// and "*") and readouts, the Source row last.
std::vector<std::vector<std::string>> MainWindow::readoutGrid() const
{
    auto shown = [](const GuiWindow& label) {
        wchar_t text[256] = L"";
        if (label.handle())
            GetWindowTextW(label.handle(), text, 256);
        return utf8(text);
    };
    const bool overall = overallCaptions_[0].handle() && IsWindowVisible(overallCaptions_[0].handle());
    std::vector<std::vector<std::string>> rows;
    rows.push_back({shown(bandLine_)});
    // The unit line, where the window shows one, heads the captions' column.
    rows.push_back({unitCaption_.handle() && IsWindowVisible(unitCaption_.handle())
                        ? shown(unitCaption_)
                        : std::string()});
    for (const GuiLabel& band : bandCaptions_)
        rows.back().push_back(shown(band));
    if (overall)
        for (const GuiLabel& column : overallCaptions_)
            rows.back().push_back(shown(column));
    const GuiWindow* captions[4] = {&rowCaptions_[0], &rowCaptions_[1], &rowCaptions_[2],
                                    &sourceCaption_};
    const std::wstring* cells[4] = {referenceShown_, analysisShown_, differenceShown_,
                                    sourceShown_};
    for (int r = 0; r < 4; ++r) {
        rows.push_back({shown(*captions[r])});
        for (int b = 0; b < 3; ++b)
            rows.back().push_back(utf8(cells[r][b]));
        if (overall)
            for (int c = 0; c < 2; ++c)
                rows.back().push_back(utf8(overallShown_[r][c]));
    }
    // The other band reading, below the table: the totals beside shown
    // means, or the means beside shown totals.
    // The store is only read here.
    const ParameterStore* s = const_cast<MainWindow*>(this)->parameterStore();
    const Readings* readings = s ? s->pointer<const Readings*>(Param::Readings) : nullptr;
    if (s && readings && s->get(Param::DataPresent) != 0 &&
        referenceShown_[0] != mainwindow_text::kNoValue) {
        const bool totalsShown = s->get(Option::BandReading) != 0;
        const float* other[2] = {
            totalsShown ? s->pointer<const float*>(Param::RefBandLevels) : readings->half[0].bandTotal,
            totalsShown ? s->pointer<const float*>(Param::AnaBandLevels) : readings->half[1].bandTotal};
        const char* names[2] = {"Reference", "Analysis"};
        const bool analysis = !analysisShown_[0].empty() &&
                              analysisShown_[0] != mainwindow_text::kNoValue;
        for (int r = 0; r < (analysis ? 2 : 1); ++r) {
            if (!other[r])
                continue;
            rows.push_back({std::string(names[r]) + (totalsShown ? " (dB mean)" : " (band total)")});
            for (int b = 0; b < 3; ++b)
                rows.back().push_back(utf8(mainwindow_text::readoutText(other[r][b])));
        }
        // The band view's table, after a blank row.
        std::vector<mf::FractionalBand> bands;
        const int perOctave = viewBands(*s, bands);
        const auto table = mf::fractionalBandCells(perOctave, bands, analysis);
        if (!table.empty())
            rows.push_back({});
        rows.insert(rows.end(), table.begin(), table.end());
    }
    return rows;
}

void MainWindow::copyReadouts()
{
    const std::wstring text = wide(mf::copyText(readoutGrid()));
    std::wstring reason;
    if (!putOnClipboard(handle_, CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t), reason))
        fileError(L"Copy Readouts", L"The readouts could not be copied.\n\n" + reason);
}

void MainWindow::copyPicture()
{
    BITMAPINFOHEADER header{};
    std::vector<BYTE> bits;
    if (!clientPixels(handle_, false, header, bits)) {
        fileError(L"Copy Picture", L"The picture could not be taken.");
        return;
    }
    std::vector<BYTE> dib(sizeof header + bits.size());
    memcpy(dib.data(), &header, sizeof header);
    memcpy(dib.data() + sizeof header, bits.data(), bits.size());
    std::wstring reason;
    if (!putOnClipboard(handle_, CF_DIB, dib.data(), dib.size(), reason))
        fileError(L"Copy Picture", L"The picture could not be copied.\n\n" + reason);
}

void MainWindow::savePicture()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::wstring name = wide(mf::defaultFileName(now.wYear, now.wMonth, now.wDay, now.wHour,
                                                 now.wMinute, now.wSecond));
    name = name.substr(0, name.size() - 4) + L".png";
    // The dialog is closed before the picture is taken.
    const std::wstring path = fileDialog(handle_, true, L"Save Picture", kPngFilter, L"png", name);
    if (path.empty())
        return;
    BITMAPINFOHEADER header{};
    std::vector<BYTE> bits;
    std::string png;
    std::wstring reason;
    if (!clientPixels(handle_, true, header, bits)) {
        fileError(L"Save Picture", L"The picture could not be taken.");
        return;
    }
    if (!encodePng(header, bits, png, reason)) {
        fileError(L"Save Picture", L"The picture could not be encoded as PNG.\n\n" + reason);
        return;
    }
    if (!writeFileAtomically(path, png, reason))
        fileError(L"Save Picture", L"The picture could not be saved to\n" + path + L"\n\n" + reason);
}
