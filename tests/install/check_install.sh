#!/usr/bin/env bash
# Installs the built player into a temporary prefix and checks that it lands
# where a Linux desktop looks for it, that the installed program finds its
# language modules through the link in bin/, that desktop-file-validate
# accepts the menu entry, and that `cpack -G DEB` makes a package with the
# program's run-time dependencies.
#   check_install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/strevana-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$tmp/usr"
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install"; }

for f in lib/strevana-player/strevana-player lib/strevana-player/strevanaPlayer_de.lang \
         share/applications/strevana-player.desktop \
         share/icons/hicolor/16x16/apps/strevana-player.png \
         share/icons/hicolor/48x48/apps/strevana-player.png \
         share/icons/hicolor/256x256/apps/strevana-player.png; do
  [ -f "$prefix/$f" ] || fail "missing $f"
done
[ -x "$prefix/lib/strevana-player/strevana-player" ] || fail "program not executable"
[ -L "$prefix/bin/strevana-player" ] || fail "bin/strevana-player is not a link"
[ "$(readlink -f "$prefix/bin/strevana-player")" = "$(readlink -f "$prefix/lib/strevana-player/strevana-player")" ] ||
  fail "bin/strevana-player does not lead to the program"
case "$(readlink "$prefix/bin/strevana-player")" in
  /*) fail "the link is absolute: it would break in the package" ;;
esac

desktop="$prefix/share/applications/strevana-player.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
grep -qx 'Exec=strevana-player %f' "$desktop" || fail "Exec does not hand over the file name"
grep -qx 'Icon=strevana-player' "$desktop" || fail "Icon is not the installed icon's name"
mime=$(sed -n 's/^MimeType=//p' "$desktop")
for type in video/mp4 video/3gpp application/sdp; do
  case ";$mime" in *";$type;"*) ;; *) fail "MimeType lacks $type" ;; esac
done

# Started through the link, as the menu entry starts it: the language module
# beside the real program is offered (Options > Language > Deutsch).
menus=$(cd "$tmp" && XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen \
  STREVANA_SNAPSHOT="$tmp/shot.png" STREVANA_SNAPSHOT_AFTER_MS=200 STREVANA_PRINT_MENUS=1 \
  timeout 60 "$prefix/bin/strevana-player" 2>"$tmp/run.log") || { cat "$tmp/run.log" >&2; fail "the installed program did not run"; }
grep -q 'Deutsch' <<<"$menus" || fail "the installed program does not offer its German module"

# The Debian package: the same tree under /usr, with its dependencies.
(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) ||
  { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB"; }
deb=$(ls "$tmp"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libavformat59 libavcodec59 libswscale6 libpostproc56 libportaudio2 qt6-qpa-plugins; do
  grep -q "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/strevana-player ./usr/lib/strevana-player/strevana-player \
         ./usr/lib/strevana-player/strevanaPlayer_de.lang ./usr/share/applications/strevana-player.desktop \
         ./usr/share/icons/hicolor/128x128/apps/strevana-player.png; do
  grep -q " $f" <<<"$contents" || fail "package lacks $f"
done
echo "installed layout, desktop entry and package are as expected"
