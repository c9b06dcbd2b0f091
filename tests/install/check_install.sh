#!/usr/bin/env bash
# Checks what `cmake --install` puts on a machine. The tree check installs the build into
# a temporary DESTDIR (prefix /usr/local); the others read that tree.
# Usage: check_install.sh tree|desktop_files|file_type|manual_pages BUILD SOURCE ID VERSION
set -euo pipefail
check=$1 build=$2 source=$3 id=$4 version=$5
destdir=$build/tests/install/root
prefix=$destdir/usr/local
share=$prefix/share
cli=$prefix/bin/tembrel-cli
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

case $check in
tree)
  # Exactly the expected files, nothing more, nothing missing.
  rm -rf "$destdir"
  DESTDIR=$destdir cmake --install "$build" --prefix /usr/local >/dev/null
  (cd "$prefix" && find . -mindepth 1 ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$scratch/installed"
  LC_ALL=C sort "$source/tests/install/expected_files.txt" >"$scratch/expected"
  diff -u "$scratch/expected" "$scratch/installed" || fail "the installed files differ from tests/install/expected_files.txt"
  ;;
desktop_files)
  # The validators say nothing at all (no error, warning or hint).
  if ! out=$(desktop-file-validate "$share/applications/$id.desktop" 2>&1) || [ -n "$out" ]; then
    fail "desktop-file-validate: $out"
  fi
  appstreamcli validate --no-net --explain "$share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli validate failed"
  # One version everywhere: CMake, the program, the AppStream release, the Debian package.
  [ "$("$cli" --version)" = "tembrel-cli $version" ] || fail "tembrel-cli --version is not $version"
  grep -q "<release version=\"$version\"" "$share/metainfo/$id.metainfo.xml" ||
    fail "the AppStream metadata has no release $version"
  head -1 "$source/debian/changelog" | grep -q "^tembrel ($version[-)]" ||
    fail "debian/changelog does not begin with version $version"
  ;;
file_type)
  # The desktop's own tools, as a session would run them, on a copy of the installed data
  # and nothing of the user's.
  cp -r "$share" "$scratch/share"
  update-mime-database "$scratch/share/mime"
  update-desktop-database "$scratch/share/applications"
  sox -q -n -r 22050 -c 2 -b 16 "$scratch/tone.wav" synth 0.3 sine 440
  "$cli" encode -q "$scratch/tone.wav"
  cp "$scratch/tone.vqf" "$scratch/no-extension"
  # Without a desktop session xdg-mime asks mimetype (libfile-mimeinfo-perl).
  xdg() {
    env -i PATH="$PATH" HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/.local/share" \
      XDG_CONFIG_HOME="$scratch/home/.config" XDG_CONFIG_DIRS="$scratch/etc" \
      XDG_DATA_DIRS="$scratch/share:/usr/share" xdg-mime "$@"
  }
  for file in tone.vqf no-extension; do # the name's glob, and the "TWIN" magic alone
    type=$(xdg query filetype "$scratch/$file")
    [ "$type" = audio/x-vqf ] || fail "xdg-mime query filetype $file: $type"
  done
  type=$(xdg query filetype "$scratch/tone.wav")
  [ "$type" = audio/x-wav ] || fail "xdg-mime query filetype tone.wav: $type"
  for type in audio/x-vqf audio/x-wav audio/mpeg; do
    app=$(xdg query default "$type")
    [ "$app" = "$id.desktop" ] || fail "xdg-mime query default $type: '$app'"
  done
  app=$(xdg query default inode/directory)
  [ "$app" != "$id.desktop" ] || fail "a folder would open Tembrel"
  ;;
manual_pages)
  man1=$share/man/man1
  for page in tembrel.1 tembrel-cli.1; do
    warnings=$(LC_ALL=C.UTF-8 groff -k -man -ww -Tutf8 -z "$man1/$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
  done
  # Every option --help lists: the program's own anywhere in the page, each subcommand's
  # in that subcommand's part.
  page=$(sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$man1/tembrel-cli.1")
  options() { "$cli" "$@" --help | sed -n 's/^ *\(-[^ ]*\).*/\1/p' | tr ',' '\n'; }
  mentions() { grep -qE -- "(^|[^-a-z0-9])$2([^-a-z0-9]|\$)" <<<"$1"; }
  program_options=$(options)
  for option in $program_options; do
    mentions "$page" "$option" || fail "tembrel-cli.1 lacks $option"
  done
  subcommands=$("$cli" --help | awk '/^Subcommands:/ { on = 1; next } /^$/ { on = 0 } on { print $1 }')
  [ -n "$subcommands" ] || fail "tembrel-cli --help lists no subcommand"
  for sub in $subcommands; do
    part=$(awk -v head=".SS \"tembrel-cli $sub " 'index($0, head) == 1 { on = 1; next } /^\.S[HS]/ { on = 0 } on' <<<"$page")
    [ -n "$part" ] || fail "tembrel-cli.1 has no part for $sub"
    for option in $(options "$sub"); do
      grep -qxF -- "$option" <<<"$program_options" || mentions "$part" "$option" ||
        fail "tembrel-cli.1 lacks $option in the part for $sub"
    done
  done
  ;;
*)
  echo "unknown check: $check" >&2
  exit 2
  ;;
esac
[ "$failures" -eq 0 ] && echo "install.$check: passed"
