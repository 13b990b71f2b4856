#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs from it: the
# executables, the menu entry, the icon at every theme size, the .pqf file type (its magic
# compared with a file the real writer made), the AppStream metadata, the user manual with all
# it links to, an installed editor that keeps its settings out of bin/ and shows its icon, and an
# uninstall that leaves nothing behind, and installed programs holding no path of the build.
#   install_test.sh BUILD_DIR SOURCE_DIR BINDIR DATADIR
set -euo pipefail

build=$1 source=$2 bindir=$3 datadir=$4
app=org.pixquil.pixquil
sizes=(16 32 48 64 96 128 256)

tmp=$(mktemp -d)
prefix=$tmp/prefix
manifest=$build/install_manifest.txt
editor_pid= xvfb_pid= manifest_taken=
# Installing rewrites the build's manifest, which every install from this build shares (another
# run of this test at the same time, from a second ctest in this build folder, or an install by
# hand): the one of a real install is kept for its own uninstall and put back.
restore_manifest() {
  if [ -f "$tmp/manifest.saved" ]; then cp -p "$tmp/manifest.saved" "$manifest"; else rm -f "$manifest"; fi
}
cleanup() {
  [ -n "$editor_pid" ] && kill "$editor_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "$manifest_taken" ] || restore_manifest
  rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Waits (0.1 s at a time) until the command succeeds, for at most $1 seconds; false when it
# never did. Deadlines in seconds, not counts of tries: on a busy machine each try takes longer.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The install, the copy of its manifest and the restoring of the one that was there, under a lock
# on the build folder: without it, two runs at once each take the other's list (one then
# uninstalls the other's files and leaves its own behind).
exec 9<"$build"
flock 9
[ -f "$manifest" ] && cp -p "$manifest" "$tmp/manifest.saved"
env -u DESTDIR cmake --install "$build" --prefix "$prefix" --strip >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; exit 1; }
cp "$manifest" "$tmp/manifest"
restore_manifest
manifest_taken=1
flock -u 9
exec 9<&-

bin=$prefix/$bindir share=$prefix/$datadir
desktop=$share/applications/$app.desktop
mime=$share/mime/packages/$app.xml
metainfo=$share/metainfo/$app.metainfo.xml

for exe in pixquil pqtool; do [ -x "$bin/$exe" ] || fail "$bin/$exe missing or not executable"; done
for f in "$desktop" "$mime" "$metainfo" "$share/doc/pixquil/LICENSE"; do [ -f "$f" ] || fail "$f missing"; done
# Installed like a package: stripped of symbols and debug information.
for exe in pixquil pqtool; do
  if readelf -S "$bin/$exe" 2>/dev/null | grep -qE '\.(debug_info|symtab)'; then fail "$bin/$exe is not stripped"; fi
done
# No path of the build machine is compiled in: an installed program never looks into the source
# or build tree (for its manual or anything else).
if command -v strings >/dev/null; then
  for exe in pixquil pqtool; do
    for tree in "$(realpath "$source")" "$(realpath "$build")"; do
      if strings -a "$bin/$exe" | grep -qF -- "$tree"; then fail "$bin/$exe holds the path $tree"; fi
    done
  done
else
  echo "strings not installed: compiled-in paths not checked"
fi
grep -q "<release version=\"$(sed -n 's/^project(Pixquil VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")\"" "$metainfo" ||
  fail "$metainfo lacks the release of the project's version"

# The user manual where ヘルプ > トピックの検索 looks from bin/, whole: every page, style sheet,
# picture and #anchor its pages point to is installed with it.
manual=$share/doc/pixquil
if [ ! -f "$manual/index.html" ]; then
  fail "$manual/index.html missing"
else
  python3 - "$manual" <<'EOF' || fail "the installed manual points to files or anchors it lacks"
import sys, pathlib, urllib.parse
from html.parser import HTMLParser

class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.links = set(), []
    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name == 'id' and value:
                self.ids.add(value)
            if name in ('href', 'src') and value:
                self.links.append(value)

root = pathlib.Path(sys.argv[1]).resolve()
pages = {}
for path in root.rglob('*.html'):
    page = Page()
    page.feed(path.read_text(encoding='utf-8'))
    pages[path.resolve()] = page
missing = []
for path, page in pages.items():
    for link in page.links:
        parts = urllib.parse.urlsplit(link)
        if parts.scheme or parts.netloc:
            continue
        target = (path.parent / urllib.parse.unquote(parts.path)).resolve() if parts.path else path
        if not target.is_file() or root not in target.parents:
            missing.append(f'{path.name}: {link}')
        elif parts.fragment and target.suffix == '.html' and parts.fragment not in pages[target].ids:
            missing.append(f'{path.name}: {link} (no such anchor)')
for m in missing:
    print('manual:', m, file=sys.stderr)
sys.exit(1 if missing else 0)
EOF
fi

# Each theme folder holds a PNG of its own size.
for size in "${sizes[@]}"; do
  png=$share/icons/hicolor/${size}x${size}/apps/$app.png
  if [ ! -f "$png" ]; then fail "$png missing"; continue; fi
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$png is ${w}x${h}"
done

# The menu entry: valid, opening files by the editor, naming the installed icon and the file types.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
else
  echo "desktop-file-validate not installed: entry not validated"
fi
grep -qx 'Exec=pixquil %F' "$desktop" || fail "Exec is not 'pixquil %F'"
grep -qx "Icon=$app" "$desktop" || fail "Icon is not $app"
grep -q '^GenericName\[ja\]=.' "$desktop" || fail "no Japanese GenericName"
grep -q '^Comment\[ja\]=.' "$desktop" || fail "no Japanese Comment"
for type in application/x-pixquil image/vnd.microsoft.icon image/x-icon image/x-win-bitmap image/bmp image/jpeg; do
  grep -q "^MimeType=\(.*;\)\?$type;" "$desktop" || fail "MimeType lacks $type"
done

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
else
  echo "appstreamcli not installed: metadata not validated"
fi

# The file type: well-formed XML naming the glob and, as its magic, the first bytes of a .pqf
# the editor's writer made.
if command -v xmllint >/dev/null; then
  xmllint --noout "$mime" "$metainfo" || fail "xmllint rejects the MIME or AppStream XML"
fi
doc=$tmp/sample.pqf
"$bin/pqtool" convert "$source/dist/icons/pixquil.ico" "$doc" >/dev/null || fail "pqtool cannot write a .pqf"
signature=$(od -An -c -N4 "$doc" | tr -d ' ')
python3 - "$mime" "$signature" <<'EOF' || fail "MIME type file: wrong type, glob or magic"
import sys, xml.etree.ElementTree as ET
ns = {'m': 'http://www.freedesktop.org/standards/shared-mime-info'}
root = ET.parse(sys.argv[1]).getroot()
t = root.find("m:mime-type[@type='application/x-pixquil']", ns)
assert t is not None, 'no application/x-pixquil'
assert [g.get('pattern') for g in t.findall('m:glob', ns)] == ['*.pqf'], 'glob'
matches = [(m.get('type'), m.get('offset'), m.get('value')) for m in t.findall('m:magic/m:match', ns)]
# od -c prints the zero byte as \0, as the MIME file writes it.
assert matches == [('string', '0', sys.argv[2])], f'magic {matches} for a file starting {sys.argv[2]}'
EOF
if command -v update-mime-database >/dev/null; then
  grep -q 'application/x-pixquil:\*\.pqf' "$share/mime/globs2" 2>/dev/null || fail "the prefix's MIME database lacks *.pqf"
  # As a file manager sees it: a document known by its content alone, opened by the entry.
  if command -v gio >/dev/null; then
    cp "$doc" "$tmp/no-extension"
    desktop_env=(env PATH="$bin:$PATH" XDG_DATA_DIRS="$share" XDG_DATA_HOME="$tmp/none" XDG_CONFIG_HOME="$tmp/none")
    "${desktop_env[@]}" gio info -a standard::content-type "$tmp/no-extension" | grep -q 'content-type: application/x-pixquil$' \
      || fail "a .pqf without extension is not recognised by its magic"
    # Which entry is the default also depends on the user's own mimeapps.list: report, don't fail.
    "${desktop_env[@]}" gio mime application/x-pixquil | grep -q "$app.desktop" \
      || echo "note: gio does not list $app.desktop for application/x-pixquil here" >&2
  fi
fi

# An installed editor keeps its settings under the XDG folder, never in bin/; on an X server
# (a private Xvfb when there is one) its frame carries the program icon at 16, 32 and 48 pixels.
config=$tmp/config
display=
if command -v Xvfb >/dev/null && command -v xprop >/dev/null && command -v xwininfo >/dev/null; then
  Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$tmp/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  # Xvfb names its display once it accepts clients.
  xvfb_ready() { [ -s "$tmp/display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; }
  wait_until 20 xvfb_ready || true
  [ -s "$tmp/display" ] && display=:$(cat "$tmp/display")
fi
if [ -n "$display" ]; then platform=xcb; else platform=offscreen; echo "no Xvfb/xprop: window icon not checked"; fi
DISPLAY=$display QT_QPA_PLATFORM=$platform HOME=$tmp/home XDG_CONFIG_HOME=$config "$bin/pixquil" >"$tmp/editor.log" 2>&1 &
editor_pid=$!
icon_sizes=
# Ready once the settings folder is there and (on a display) a window shows the icon; or ended.
editor_ready() {
  if [ -n "$display" ] && [ -z "$icon_sizes" ]; then
    # The frame, the tool windows and Qt's own leader window are all named Pixquil.
    for window in $(DISPLAY=$display xwininfo -root -children 2>/dev/null | awk '/"Pixquil": \(/ {print $1}' || true); do
      icon_sizes=$(DISPLAY=$display xprop -id "$window" _NET_WM_ICON 2>/dev/null | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ' || true)
      [ -n "$icon_sizes" ] && break
    done
  fi
  { [ -d "$config/pixquil/setting" ] && { [ -z "$display" ] || [ -n "$icon_sizes" ]; }; } || ! kill -0 "$editor_pid" 2>/dev/null
}
wait_until 60 editor_ready || echo "the editor was not ready after 60 s" >&2
kill "$editor_pid" 2>/dev/null || true
wait "$editor_pid" 2>/dev/null || true
editor_pid=
[ -d "$config/pixquil/setting" ] || { cat "$tmp/editor.log"; fail "no settings folder under XDG_CONFIG_HOME"; }
[ ! -e "$bin/setting" ] || fail "the installed editor made $bin/setting"
if [ -n "$display" ]; then
  for size in 16 32 48; do
    [[ "$icon_sizes" == *"Icon ($size x $size)"* ]] || fail "the frame's window icon lacks ${size}x${size} (has: ${icon_sizes:-none})"
  done
fi

# Uninstall removes every installed file and what was generated from them.
cmake -DMANIFEST="$tmp/manifest" -P "$source/dist/uninstall.cmake" >"$tmp/uninstall.log" || { cat "$tmp/uninstall.log"; fail "uninstall failed"; }
left=$(cd "$prefix" && find . -mindepth 1 ! -path ./bin ! -path "./$datadir" | sort)
[ -z "$left" ] || fail "left after uninstall: $left"

[ "$failures" -eq 0 ] && echo "install test passed"
exit "$((failures > 0))"
