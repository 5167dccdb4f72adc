#!/usr/bin/env bash
# Set up, build, and run Kavel's export kinds on a sample database in a fresh program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
if [ ! -x build/kavel/Kavel ] || [ ! -x build/tools/make-sample-db ]; then
  echo "Kavel or the sample-database maker is not built yet; stopping after the build."
  exit 0
fi
demo="$PWD/demo"
rm -rf "$demo" && mkdir -p "$demo"
# A link: the folder it lies in is the program folder, its window module stays in the build.
ln -s "$PWD/build/kavel/Kavel" "$demo/Kavel"
build/tools/make-sample-db "$demo/Data.Rpt"
caption="令和８年１１月社保"
for args in "1" "3" "5" "5 1" "7" "8" "9" "10"; do
  set -- $args
  echo "== Kavel \"$caption\" \"\" $1 ${2:-}"
  (cd "$demo" && ./Kavel "$caption" "" "$1" "${2:-}")
done
echo "== PDFs"; ls -l "$demo"/*.pdf
echo "== Pdf.log"; iconv -f CP932 -t UTF-8 "$demo/Pdf.log"
echo "== user.ini"; iconv -f CP932 -t UTF-8 "$demo/user.ini"
