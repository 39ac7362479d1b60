#!/usr/bin/env bash
# A staged install (DESTDIR) lays out a complete desktop integration: the
# program, a valid launcher entry, a PVG file type that the shared MIME
# database recognises by content and by name, the icon and the manual page.
#
# Usage: check_install.sh BUILD_DIR SOURCE_DIR MIME_LOOKUP MAKE_DEMO
set -uo pipefail

build=$1 source=$2 lookup=$3 make_demo=$4
app_id=org.kelvo.Kelvo
pvg_type=application/x-pvg

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# --- The staged install --------------------------------------------------
stage=$work/stage
if ! DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install into DESTDIR failed" >&2
    exit 1
fi
root=$stage/usr

desktop=$root/share/applications/$app_id.desktop
mime_xml=$root/share/mime/packages/$app_id.xml
icon=$root/share/icons/hicolor/scalable/apps/$app_id.svg
manpage=$root/share/man/man1/kelvo.1

[ -x "$root/bin/kelvo" ] || fail "kelvo is not installed as an executable in bin"
for f in "$desktop" "$mime_xml" "$icon" "$manpage"; do
    [ -s "$f" ] || fail "missing or empty: ${f#"$stage"}"
done
stray=$(cd "$stage" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$stray" ] || fail "files installed outside the prefix: $stray"
# A staged install must leave the MIME cache to the package manager.
[ ! -e "$root/share/mime/mime.cache" ] || fail "update-mime-database ran although DESTDIR was set"

# --- Launcher entry ---------------------------------------------------------
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
    entry() { sed -n "s/^$1=//p" "$desktop"; }
    [ "$(entry Exec)" = "kelvo %f" ] || fail "Exec is '$(entry Exec)'"
    [ "$(entry Categories)" = "Graphics;Viewer;" ] || fail "Categories is '$(entry Categories)'"
    case ";$(entry MimeType)" in *";$pvg_type;"*) ;; *) fail "MimeType lacks $pvg_type" ;; esac
    [ "$(entry Icon)" = "$app_id" ] || fail "Icon '$(entry Icon)' does not name the installed icon"
    [ -n "$(entry Name)" ] && [ -n "$(entry Comment)" ] || fail "Name or Comment is empty"
fi

# --- XML well-formedness ------------------------------------------------------
for f in "$mime_xml" "$icon"; do
    [ -f "$f" ] && { xmllint --noout "$f" || fail "not well-formed: ${f#"$stage"}"; }
done
grep -q "type=\"$pvg_type\"" "$mime_xml" || fail "the MIME package does not define $pvg_type"

# --- Manual page ----------------------------------------------------------------
if [ -f "$manpage" ]; then
    if command -v groff >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$manpage" 2>&1)
        [ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
    fi
    text=$(sed 's/\\-/-/g' "$manpage")
    for word in -wp= -po= -p -c=1 -c=2 -cf= -svrname= -q -tmp -cwd= '-?' \
                kelvo.cfg .kelvosettings \
                autosave eps_scalefactor eps_include_background eps_cvt_lines_to_black \
                export_quality printer_paper_type printer_page_size printer_page_shift \
                printer_min_linewidth vna-accept-connect; do
        grep -qF -- "$word" <<<"$text" || fail "the manual page does not mention $word"
    done
fi

# --- File type recognition ---------------------------------------------------------
data=$work/data
mkdir -p "$data/mime/packages" "$work/home" "$work/files"
cp "$mime_xml" "$data/mime/packages/"
# With the base database beside it, as on a desktop, so that the PVG magic has
# to hold its own among the common types.
base_db=/usr/share/mime/packages/freedesktop.org.xml
[ -f "$base_db" ] && cp "$base_db" "$data/mime/packages/"
update-mime-database "$data/mime" >"$work/update-mime.log" 2>&1 ||
    fail "update-mime-database rejects the package: $(cat "$work/update-mime.log")"

"$make_demo" "$work/files/plotfile" >/dev/null || fail "could not write the sample drawing"
printf 'plain words, no picture\n' >"$work/files/notes"
# The first 15 bytes of the start, then a different 16th byte.
head -c 15 "$work/files/plotfile" >"$work/files/nearmiss"
printf '1\n' >>"$work/files/nearmiss"
: >"$work/files/empty.pvg"

export XDG_DATA_DIRS=$data XDG_DATA_HOME=$work/home
mapfile -t by_content < <("$lookup" content "$work/files/plotfile" "$work/files/notes" "$work/files/nearmiss")
[ "${by_content[0]:-}" = "$pvg_type" ] || fail "a PVG file without extension reads as '${by_content[0]:-}'"
[ "${by_content[1]:-}" != "$pvg_type" ] || fail "a text file reads as $pvg_type"
[ "${by_content[2]:-}" != "$pvg_type" ] || fail "a file with a wrong 16th byte reads as $pvg_type"
by_name=$("$lookup" name "$work/files/empty.pvg")
[ "$by_name" = "$pvg_type" ] || fail "the *.pvg glob gives '$by_name'"

# GLib's independent reader of the same cache, where it is installed.
if command -v gio >/dev/null; then
    gio_type() { gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/^ *standard::content-type: //p'; }
    [ "$(gio_type "$work/files/plotfile")" = "$pvg_type" ] || fail "gio does not see $pvg_type"
    [ "$(gio_type "$work/files/notes")" != "$pvg_type" ] || fail "gio takes a text file for $pvg_type"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install tree, launcher entry, MIME type, icon and manual page are in order"
