# Sourced by the set-up scripts: installs the Debian packages the build,
# tests and demo need, only when one is missing. ffmpeg and melt are the
# frei0r hosts the plug-in is tested in; video is decoded and encoded with
# libavformat, libavcodec and libswscale (libavformat-dev brings libavcodec-dev
# and libavutil-dev), pictures also with libtiff and OpenEXR. GStreamer's
# development files build the mattixkey element, its tools and plug-ins run
# it (and the alpha element it is compared with); shotcut's QML controls and
# qmlscene load the Shotcut panel; dpkg-dev lets CPack work out the Debian
# package's dependencies.
# chromium runs the keyer's browser test (with node and playwright-core from
# npm, installed by mattix_install_browser_test).
mattix_packages="cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
  clang-format libcli11-dev libcpp-httplib-dev libfreetype-dev fonts-dejavu-core frei0r-plugins-dev ffmpeg melt
  chromium valgrind libavformat-dev libswscale-dev libtiff-dev libopenexr-dev libgstreamer1.0-dev
  libgstreamer-plugins-base1.0-dev gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  shotcut qmlscene dpkg-dev"
mattix_install_missing() {
  local missing=""
  for p in $mattix_packages "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
  done
  if [ -n "$missing" ]; then
    echo "Installing:$missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
  fi
}

# The benchmarks' photograph (bench_key, bench/render_vs_ffmpeg.sh): the
# astronaut picture of scikit-image's data. Not needed to build or test.
mattix_bench_packages="python3-skimage"
mattix_install_bench() {
  mattix_install_missing $mattix_bench_packages
}

# Node (Debian's, unless one is installed already) and the npm packages of
# the top package.json, exactly as locked: the browser test's playwright-core
# and the page's linter and formatter. Run from the top of the tree.
mattix_install_browser_test() {
  command -v npm >/dev/null 2>&1 || mattix_install_missing nodejs npm
  if command -v npm >/dev/null 2>&1; then
    (npm ci --no-audit --no-fund --loglevel=error)
  else
    echo "npm is missing: the keyer's browser test will be skipped"
  fi
}
