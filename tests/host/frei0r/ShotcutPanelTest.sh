#!/usr/bin/env bash
# The Mattix filter's Shotcut files loaded with Shotcut's own QML controls,
# in Qt's offscreen platform (shotcut/PanelTest.qml drives the panel).
# Shotcut's controls are the Debian package's; the types its program adds
# in C++ have stand-ins beside the test. Exit 77 (skipped) without them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
controls=/usr/share/shotcut/qml/modules/Shotcut/Controls
qmlscene=$(command -v qmlscene || true)
if [ ! -f "$controls/qmldir" ]; then
  echo "Shotcut's QML controls are not installed (Debian package shotcut-data): skipped"
  exit 77
fi
if [ -z "$qmlscene" ] || [ ! -x /usr/lib/qt5/bin/qmlscene ]; then
  echo "qmlscene is not installed (Debian package qmlscene): skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Shotcut.Controls as Shotcut's program sees it: its files, and the type
# the program registers into the module.
mkdir -p "$work/Shotcut/Controls"
ln -s "$controls"/*.qml "$work/Shotcut/Controls/"
cp "$controls/qmldir" "$work/Shotcut/Controls/qmldir"
ln -s "$here/shotcut/EditContextMenu.qml" "$work/Shotcut/Controls/"
echo "EditContextMenu 1.0 EditContextMenu.qml" >>"$work/Shotcut/Controls/qmldir"
status=0
QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software XDG_RUNTIME_DIR="$work" \
  timeout 120 "$qmlscene" -I "$work" -I "$here/shotcut" "$here/shotcut/PanelTest.qml" \
  >"$work/out" 2>&1 || status=$?
cat "$work/out"
# A warning from the filter's own files (a reference or type error) fails
# the test even when every check passed.
if grep -E "host/frei0r/shotcut/mattix/[A-Za-z]+\.qml:[0-9]+" "$work/out"; then
  echo "FAIL: the filter's QML warned"
  exit 1
fi
[ "$status" -eq 0 ] && grep -qx "qml: all passed" "$work/out"
