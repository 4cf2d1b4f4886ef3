#!/usr/bin/env bash
# The install as users get it: `cmake --install` into a temporary prefix,
# then the installed command, and the installed frei0r plug-in in FFmpeg
# and melt with neither FREI0R_PATH nor MATTIX_MODULE set. The hosts find
# the plug-in in $HOME/.frei0r-1/lib (both search it), here a link to the
# prefix's lib/frei0r-1; its run path and module search must then find
# lib/mattix from there. Likewise the GStreamer element in gst-launch-1.0. Each keys the sample to the same pixels as the
# installed command; LD_DEBUG shows that the installed module was loaded,
# not the build tree's. With cpack and dpkg-deb, the Debian package is
# built too and its files listed. Exit 77 when no host can be run.
#   InstallTest.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1 build=$2 source=$3
sample=$source/samples/greenscreen.png project=$source/samples/key.json
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install: $(tail -5 "$work/install.log")"
for f in bin/mattix lib/mattix/mattix lib/mattix/libmattix.so lib/mattix/libpixmill.so \
  lib/frei0r-1/mattix.so share/kdenlive/effects/frei0r_mattix.xml \
  share/shotcut/qml/filters/mattix/meta.qml share/shotcut/qml/filters/mattix/ui.qml; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
clean=(env -u FREI0R_PATH -u MATTIX_MODULE -u LD_LIBRARY_PATH)

# The installed command keys the reference, with the module beside it.
"${clean[@]}" LD_DEBUG=files "$prefix/bin/mattix" render "$sample" -o "$work/command.png" \
  --project "$project" 2>"$work/command.log" || fail "the installed command: $(grep -v '^ *[0-9]*:' "$work/command.log" | tail -3)"
grep -q "file=$prefix/lib/mattix/libmattix.so " "$work/command.log" ||
  fail "the installed command did not load the installed module"

# The pixels of a picture, as RGBA bytes.
pixels() { ffmpeg -nostdin -v error -i "$1" -f rawvideo -pix_fmt rgba -; }

mkdir -p "$work/home/.frei0r-1"
ln -s "$prefix/lib/frei0r-1" "$work/home/.frei0r-1/lib"
module="file=$work/home/.frei0r-1/lib/../mattix/libmattix.so "
ran=0
if command -v ffmpeg >/dev/null; then
  "${clean[@]}" HOME="$work/home" LD_DEBUG=files ffmpeg -nostdin -v error -i "$sample" \
    -vf "frei0r=mattix:$project" "$work/ffmpeg.png" 2>"$work/ffmpeg.log" ||
    fail "ffmpeg: $(grep -v '^ *[0-9]*:' "$work/ffmpeg.log" | tail -3)"
  grep -q "$module" "$work/ffmpeg.log" || fail "ffmpeg did not load the installed module"
  cmp -s <(pixels "$work/ffmpeg.png") <(pixels "$work/command.png") ||
    fail "ffmpeg keyed otherwise than the installed command"
  echo "ffmpeg: the installed plug-in keys as the installed command"
  ran=1
else
  echo "ffmpeg is not installed (Debian package ffmpeg): not tried in ffmpeg"
fi
if command -v melt >/dev/null && command -v ffmpeg >/dev/null; then
  "${clean[@]}" HOME="$work/home" LD_DEBUG=files melt -quiet "$sample" out=0 \
    -filter frei0r.mattix "project=$project" -consumer "avformat:$work/melt.png" vcodec=png \
    pix_fmt=rgba real_time=0 width=480 height=320 sample_aspect_num=1 sample_aspect_den=1 \
    2>"$work/melt.log" || fail "melt: $(grep -v '^ *[0-9]*:' "$work/melt.log" | tail -3)"
  grep -q "$module" "$work/melt.log" || fail "melt did not load the installed module"
  cmp -s <(pixels "$work/melt.png") <(pixels "$work/command.png") ||
    fail "melt keyed otherwise than the installed command"
  echo "melt: the installed plug-in keys as the installed command"
  ran=1
else
  echo "melt (or ffmpeg, to compare) is not installed (Debian packages melt, ffmpeg): not tried in melt"
fi

# The GStreamer element from ~/.local/share/gstreamer-1.0/plugins (which
# GStreamer searches), here a link to the prefix's plug-in folder.
gst=$(cd "$prefix" && ls -d lib/*/gstreamer-1.0 2>/dev/null | head -1)
if [ -n "$gst" ] && command -v gst-launch-1.0 >/dev/null && command -v ffmpeg >/dev/null; then
  mkdir -p "$work/home/.local/share/gstreamer-1.0"
  ln -s "$prefix/$gst" "$work/home/.local/share/gstreamer-1.0/plugins"
  "${clean[@]}" -u GST_PLUGIN_PATH HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" \
    GST_REGISTRY="$work/registry.bin" LD_DEBUG=files gst-launch-1.0 -q filesrc location="$sample" \
    ! pngdec ! videoconvert ! mattixkey project="$project" ! videoconvert ! pngenc \
    ! filesink location="$work/gst.png" 2>"$work/gst.log" >&2 ||
    fail "gst-launch-1.0: $(grep -v '^ *[0-9]*:' "$work/gst.log" | tail -3)"
  grep -q "file=$work/home/.local/share/gstreamer-1.0/plugins/../../mattix/libmattix.so " "$work/gst.log" ||
    fail "gst-launch-1.0 did not load the installed module"
  cmp -s <(pixels "$work/gst.png") <(pixels "$work/command.png") ||
    fail "mattixkey keyed otherwise than the installed command"
  echo "gst-launch-1.0: the installed element keys as the installed command"
else
  echo "no GStreamer element installed, or gst-launch-1.0 missing (Debian package gstreamer1.0-tools): not tried"
fi

if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(tail -5 "$work/cpack.log")"
  deb=$(ls "$work"/package/mattix_*.deb)
  dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
  for f in ./usr/bin/mattix ./usr/lib/mattix/libmattix.so ./usr/lib/frei0r-1/mattix.so \
    ./usr/share/kdenlive/effects/frei0r_mattix.xml ./usr/share/shotcut/qml/filters/mattix/ui.qml; do
    grep -qx "$f" "$work/files" || fail "the package lacks $f"
  done
  if [ -n "$gst" ]; then
    grep -qx "./usr/$gst/libgstmattix.so" "$work/files" || fail "the package lacks the GStreamer element"
  fi
  dpkg-deb -f "$deb" Depends | grep -q libpng || fail "the package does not depend on libpng"
  echo "$(basename "$deb"): holds the command, the module, the plug-in and the descriptions"
else
  echo "cpack, dpkg-deb or dpkg-shlibdeps is missing (Debian packages cmake, dpkg-dev): no package built"
fi
[ "$ran" = 1 ] || { echo "neither ffmpeg nor melt is installed: skipped"; exit 77; }
