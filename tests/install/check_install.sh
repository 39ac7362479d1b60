#!/usr/bin/env bash
# A staged install (DESTDIR) lays out the whole desktop integration: the
# program, a valid launcher entry, a PVG type the MIME database recognises by
# content and by name, the icon and a manual page.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR MIME_LOOKUP MAKE_DEMO
set -uo pipefail
build=$1 lookup=$3 make_demo=$4
app_id=org.kelvo.Kelvo pvg_type=application/x-pvg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

stage=$work/stage root=$work/stage/usr
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }
desktop=$root/share/applications/$app_id.desktop
mime_xml=$root/share/mime/packages/$app_id.xml
manpage=$root/share/man/man1/kelvo.1
[ -x "$root/bin/kelvo" ] || fail "kelvo is not an executable in bin"
thumbnailer=$root/share/thumbnailers/kelvo.thumbnailer
for f in "$desktop" "$mime_xml" "$manpage" "$root/share/man/man1/kelvo-convert.1" "$thumbnailer" \
    "$root/share/icons/hicolor/scalable/apps/$app_id.svg"; do
    [ -s "$f" ] || fail "missing or empty: ${f#"$stage"}"
done
# A staged install leaves the MIME cache to the package manager.
[ -z "$(cd "$stage" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files installed outside the prefix"
[ ! -e "$root/share/mime/mime.cache" ] || fail "update-mime-database ran although DESTDIR was set"

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec)" = "kelvo %f" ] || fail "Exec is '$(entry Exec)'"
[ "$(entry Categories)" = "Graphics;Viewer;" ] || fail "Categories is '$(entry Categories)'"
[ "$(entry Icon)" = "$app_id" ] || fail "Icon does not name the installed icon"
# A shell on X11 ties the running window (class "kelvo") to the entry by this.
[ "$(entry StartupWMClass)" = kelvo ] || fail "StartupWMClass is '$(entry StartupWMClass)'"
grep -qx 'Exec=kelvo-convert --thumbnail=%s %i %o' "$thumbnailer" || fail "the thumbnailer's Exec line"
case ";$(entry MimeType)" in *";$pvg_type;"*) ;; *) fail "MimeType lacks $pvg_type" ;; esac
xmllint --noout "$mime_xml" || fail "the MIME package is not well-formed"

data=$work/data files=$work/files
mkdir -p "$data/mime/packages" "$files"
cp "$mime_xml" /usr/share/mime/packages/freedesktop.org.xml "$data/mime/packages/"
update-mime-database "$data/mime" >"$work/mime.log" 2>&1 || fail "update-mime-database: $(cat "$work/mime.log")"
"$make_demo" "$files/plotfile" >/dev/null || fail "could not write the sample drawing"
printf 'plain words\n' >"$files/notes"
{ head -c 15 "$files/plotfile"; printf '1'; } >"$files/nearmiss" # wrong 16th byte
: >"$files/empty.pvg"
export XDG_DATA_DIRS=$data XDG_DATA_HOME=$work/home
mapfile -t found < <("$lookup" content "$files/plotfile" "$files/notes" "$files/nearmiss")
[ "${found[0]:-}" = "$pvg_type" ] || fail "a PVG file without extension reads as '${found[0]:-}'"
[ "${found[1]:-}" != "$pvg_type" ] || fail "a text file reads as $pvg_type"
[ "${found[2]:-}" != "$pvg_type" ] || fail "a wrong 16th byte still reads as $pvg_type"
[ "$("$lookup" name "$files/empty.pvg")" = "$pvg_type" ] || fail "the *.pvg glob does not match"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
