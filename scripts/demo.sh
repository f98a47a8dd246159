#!/usr/bin/env bash
# The main job: builds what the demo shows (the installer stub, the packer,
# the demo installer that the packer makes from samples/demo, and the demo's
# two helper programs; every test is left to scripts/test.sh), then runs the
# 32-bit demo installer (the architecture briskopack builds by default) under
# Wine in a private prefix (Japanese locale) where its target application is
# installed, saves a screenshot of its window to build/demo-screenshot.png,
# presses Start, shows the outcome message and the payload files written into
# the target folder, checks them against samples/demo/payload/ and closes the
# installer again. Fails when Start is disabled or the files differ. Without
# a display it runs under its own Xvfb. Where Wine cannot run 32-bit programs
# (no wine32) it says so and shows the 64-bit build instead. DPI=144 shows
# the window at 150 % (any DPI: Wine's LogPixels in the prefix).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
preset=win32
if ! bash scripts/wine-run.sh --has-wine32; then
  echo "Showing the 64-bit demo installer instead" >&2
  preset=win64
fi
echo "== build the $preset demo"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target briskopatch_demo_packed demo_target demo_window
bin=build/$preset
echo "Built:"
ls -l "$bin"/briskopatch-stub.exe "$bin"/briskopatch-demo-packed.exe "$bin"/demo-target.exe "$bin"/demo-window.exe \
  "$bin"/briskopack-host/briskopack 2>/dev/null | awk '{ printf "  %10s  %s\n", $5, $NF }'
installer=$bin/briskopatch-demo-packed.exe
demo_prefix=$PWD/build/demo-wine
screenshot=$PWD/build/demo-screenshot.png
export WINEPREFIX=$demo_prefix LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all
installer_pid=
source scripts/xvfb.sh
cleanup() {
  [ -n "$installer_pid" ] && kill "$installer_pid" 2>/dev/null || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_xvfb
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
  echo "Running under Xvfb on display $DISPLAY"
fi

# The demo's target application: a folder with its check file and a
# Start-menu shortcut to it, so that the installer finds the folder itself.
rm -rf "$demo_prefix"
bash scripts/wine-run.sh "$bin/demo-target.exe" 2>/dev/null
# Wine has no ＭＳ Ｐゴシック; IPAPGothic has the same metrics, so the window's
# texts keep their widths.
bash scripts/wine-run.sh reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1 || true
if [ -n "${DPI:-}" ]; then
  bash scripts/wine-run.sh reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f \
    >/dev/null 2>&1 || true
fi
if [ -n "$brisko_xvfb_pid" ]; then
  # No window manager draws frames on Xvfb: let Wine draw title bars itself.
  bash scripts/wine-run.sh reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
    >/dev/null 2>&1 || true
fi

echo "Starting $installer ($(file -b "$installer" | cut -d, -f1))"
bash scripts/wine-run.sh "$installer" &
installer_pid=$!
if geometry=$(bash scripts/wine-run.sh "$bin/demo-window.exe" wait 60 | tr -d '\r'); then
  read -r x y w h <<<"$geometry"
  xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$screenshot"
  echo "Screenshot of the demo installer's window: $screenshot"
  failed=0
  echo "Pressing Start:"
  if ! bash scripts/wine-run.sh "$bin/demo-window.exe" start | tr -d '\r' | sed 's/^/  /'; then
    echo "Start could not be pressed, or showed no message" >&2
    failed=1
  fi
  target_dir=$demo_prefix/drive_c/Games/ブリスコ物語
  echo "Files in C:\Games\ブリスコ物語 ($target_dir):"
  find "$target_dir" -maxdepth 1 -type f -printf '  %10s  %f\n' | sort -k2
  for sample in samples/demo/payload/*; do
    written=$target_dir/$(basename "$sample")
    if difference=$(cmp "$sample" "$written" 2>&1); then
      echo "  $(basename "$sample"): same as $sample"
    else
      echo "  $(basename "$sample"): $difference" >&2
      failed=1
    fi
  done
  bash scripts/wine-run.sh "$bin/demo-window.exe" close || true
  wait "$installer_pid" || true
  installer_pid=
  [ "$failed" = 0 ] || exit 1
else
  xwd -root -silent | convert xwd:- "$screenshot"
  echo "The demo installer's window did not appear; screenshot of the whole screen: $screenshot" >&2
  exit 1
fi
echo "Run it yourself with:"
echo "  WINEPREFIX=$demo_prefix bash scripts/wine-run.sh $installer"
