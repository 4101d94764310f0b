#!/bin/sh
# Makes the setup program and the portable zip from a built qx700.exe.
# Called by the build (packaging/CMakeLists.txt); runs on the build machine.
#
#   make-dist.sh VERSION EXE SOURCE_DIR STAGE_DIR OUT_DIR EPOCH [all|test-old]
#
# How it works
# - The files are staged in STAGE_DIR/qx700-VERSION: the program, the user
#   guide (UserGuide.html, which F1 opens), a short README.txt for the user
#   and LICENSE.txt (both with Windows line ends), each readable by all,
#   each dated EPOCH (SOURCE_DATE_EPOCH), so nothing of this machine's clock,
#   umask or time zone reaches the packages.
# - makensis builds OUT_DIR/qx700-VERSION-setup.exe from packaging/qx700.nsi
#   (it records the files' dates, which are now EPOCH).
# - "all" also zips the staged folder, files in a fixed order, no extra
#   attributes (-X), no directory entries (-D), dates in UTC, into
#   OUT_DIR/qx700-VERSION-portable.zip, and writes both files' SHA-256 sums
#   to OUT_DIR/qx700-VERSION-SHA256SUMS.
# - "test-old" builds only a setup program, from a copy of the program with
#   a marker appended (it still runs), so a test can tell an upgrade's files
#   from the older version's.
set -eu
version=$1 exe=$2 src=$3 stage=$4 out=$5 epoch=$6 what=${7:-all}

export SOURCE_DATE_EPOCH=$epoch TZ=UTC LC_ALL=C
folder=qx700-$version
rm -rf "$stage"
mkdir -p "$stage/$folder" "$out"
cp "$exe" "$stage/$folder/qx700.exe"
[ "$what" = test-old ] && printf 'QX-700 older version %s for the upgrade test\n' "$version" \
    >>"$stage/$folder/qx700.exe"
sed 's/\r*$/\r/' "$src/packaging/README.txt" >"$stage/$folder/README.txt"
sed 's/\r*$/\r/' "$src/packaging/UserGuide.html" >"$stage/$folder/UserGuide.html"
sed 's/\r*$/\r/' "$src/LICENSE" >"$stage/$folder/LICENSE.txt"
chmod 644 "$stage/$folder"/*
chmod 755 "$stage/$folder"
touch -h -d "@$epoch" "$stage/$folder"/* "$stage/$folder"

setup=$out/qx700-$version-setup.exe
rm -f "$setup"
makensis -NOCD -V2 -INPUTCHARSET UTF8 \
    "-DQX_VERSION=$version" "-DQX_VERSION_QUAD=$version.0" \
    "-DQX_STAGE=$stage/$folder" "-DQX_ICON=$src/resources/qx700.ico" \
    "-DQX_OUTFILE=$setup" "$src/packaging/qx700.nsi" >"$stage/makensis.log" 2>&1 ||
    { cat "$stage/makensis.log" >&2; exit 1; }
[ "$what" = test-old ] && exit 0

zip=$out/qx700-$version-portable.zip
rm -f "$zip"
(cd "$stage" && zip -q -X -D -9 "$zip" "$folder/qx700.exe" "$folder/UserGuide.html" "$folder/README.txt" \
    "$folder/LICENSE.txt")
(cd "$out" && sha256sum "qx700-$version-setup.exe" "qx700-$version-portable.zip" \
    >"qx700-$version-SHA256SUMS")
