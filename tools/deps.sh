#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and CI need and
# that this machine lacks, in one step; does nothing when all are present.
# Without apt-get or root it says what is missing and carries on: the tests
# that need a missing tool say so when they run.
set -uo pipefail

# Keep one package a line, with what needs it.
packages=(
  libxml2-utils      # xmllint: the page checks of seqord-plot
  python3-numpy      # /usr/bin/python3 with numpy: the independent check of the motion tables
  r-base-core        # R: the R package (r/), built, checked and installed by tools/r-package.sh
  r-cran-rcpp        # its glue to the C++ libraries
  r-cran-testthat    # its tests
  chromium           # the browser test of seqord-plot --html (headless)
  chromium-driver    # chromedriver for that test
  python3-selenium   # drives it, under /usr/bin/python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null && exit 0
fi
echo "deps: could not install ${missing[*]}; the tests that need them will say so" >&2
exit 0
