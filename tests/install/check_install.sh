#!/usr/bin/env bash
# Installs the build into a temporary prefix, validates the desktop entry and the metadata, and
# starts the installed launcher with an empty HOME: it must make the catalogue folder with an
# empty catalogue and config.cfg, leave both byte for byte alone on the next start, and carry an
# old Jet catalogue over while keeping the original.
#   check_install.sh BUILD_DIR APP_ID VERSION FIXTURES_DIR
set -euo pipefail
build="$1"
app_id="$2"
version="$3"
fixtures="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
# Without Qt's translations the save, print and page-setup dialogs speak English.
grep -qE '^set\(CPACK_DEBIAN_PACKAGE_DEPENDS "([^"]*, )?qt6-translations-l10n(,|")' \
    "$build/CPackConfig.cmake" || fail "the package does not depend on qt6-translations-l10n"
for program in quivel quivel-start quivel-catalogue; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program not installed"
done
desktop-file-validate "$prefix/share/applications/$app_id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" || fail "metadata"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$app_id.metainfo.xml" ||
    fail "metadata does not name version $version"
for size in 16 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png"
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    dims="$(od -An -tu1 -j16 -N8 "$icon" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')"
    [ "$dims" = "${size}x$size" ] || fail "icon $size: '$dims'"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" || fail "scalable icon"
[ "$("$prefix/bin/quivel-catalogue" --version)" = "quivel-catalogue $version" ] ||
    fail "quivel-catalogue --version"

# Starts the launcher the way the menu entry does, from another folder, and lets the program
# run until the time is up: still running then means it started on the catalogue.
launch() {
    code=0
    (cd / && env -u QUIVEL_HOME -u XDG_DATA_HOME "$@" timeout 4 "$prefix/bin/quivel-start") \
        > "$work/start.log" 2>&1 || code=$?
}
start() {
    launch "$@"
    if [ "$code" -ne 124 ]; then
        cat "$work/start.log"
        fail "launcher ended with code $code before its time was up"
    fi
}

# An empty catalogue the tool accepts, and the version for the About window.
check_folder() {
    local folder="$1"
    [ -f "$folder/quivel.mdb" ] || { fail "no catalogue in $folder"; return; }
    "$prefix/bin/quivel-catalogue" check "$folder/quivel.mdb" > /dev/null ||
        fail "check refuses the catalogue in $folder"
    local rows
    rows="$(sqlite3 -readonly "$folder/quivel.mdb" \
        'select (select count(*) from cds) + (select count(*) from softs)')"
    [ "$rows" = 0 ] || fail "new catalogue in $folder has $rows rows"
    [ "$(head -n 1 "$folder/config.cfg")" = "$version" ] || fail "config.cfg in $folder"
}

# Where the folder is, by the environment the launcher sees.
home="$work/home"
mkdir -p "$home"
start HOME="$home"
check_folder "$home/.local/share/quivel"
cp -p "$home/.local/share/quivel/quivel.mdb" "$home/.local/share/quivel/config.cfg" "$work/"
start HOME="$home"
cmp "$work/quivel.mdb" "$home/.local/share/quivel/quivel.mdb" || fail "second start changed quivel.mdb"
cmp "$work/config.cfg" "$home/.local/share/quivel/config.cfg" || fail "second start changed config.cfg"
[ "$(ls -A "$home/.local/share/quivel" | sort | tr '\n' ' ')" = "config.cfg quivel.mdb " ] ||
    fail "unexpected files: $(ls -A "$home/.local/share/quivel")"

start HOME="$work/home2" XDG_DATA_HOME="$work/data"
check_folder "$work/data/quivel"
start HOME="$work/home3" XDG_DATA_HOME="$work/data3" QUIVEL_HOME="$work/chosen"
check_folder "$work/chosen"
[ ! -e "$work/data3/quivel" ] || fail "QUIVEL_HOME did not take precedence"

# A config.cfg of another version is brought up to date; the catalogue is not touched.
printf '0.9\r\n' > "$work/chosen/config.cfg"
cp -p "$work/chosen/quivel.mdb" "$work/before.mdb"
start HOME="$work/home3" QUIVEL_HOME="$work/chosen"
[ "$(cat "$work/chosen/config.cfg")" = "$version" ] || fail "old config.cfg not brought up to date"
cmp "$work/before.mdb" "$work/chosen/quivel.mdb" || fail "catalogue changed with config.cfg"

# A server set once in the user's settings is used instead of a file in the folder.
mkdir -p "$work/config/quivel"
printf 'host=%s dbname=quivel\n' "$work/no-server" > "$work/config/quivel/servidor"
launch HOME="$home" QUIVEL_HOME="$work/served" XDG_CONFIG_HOME="$work/config"
[ ! -e "$work/served/quivel.mdb" ] || fail "a catalogue file was made although a server is set"
[ "$(cat "$work/served/config.cfg")" = "$version" ] || fail "no config.cfg beside a server setting"

# The settings file by its rules: comments and blank lines around the one address are left out.
printf '# servidor do escritório\n\n  host=%s dbname=quivel  \n\n' "$work/no-server" \
    > "$work/config/quivel/servidor"
launch HOME="$home" QUIVEL_HOME="$work/commented" XDG_CONFIG_HOME="$work/config"
[ ! -e "$work/commented/quivel.mdb" ] || fail "a commented servidor file was not read as a server"
grep -q "quivel-start: O arquivo" "$work/start.log" && fail "a commented servidor file was refused: $(cat "$work/start.log")"
# A file that names no server, or more than one, is said and nothing local is made or opened.
for content in '\n' '# só um comentário\n\n' 'host=a dbname=q\nhost=b dbname=q\n' 'catalogo.mdb\n'; do
    printf "$content" > "$work/config/quivel/servidor"
    rm -rf "$work/unserved"
    launch HOME="$home" QUIVEL_HOME="$work/unserved" XDG_CONFIG_HOME="$work/config"
    [ ! -e "$work/unserved/quivel.mdb" ] || fail "a local catalogue was made for servidor '$content'"
    grep -q "quivel-start: O arquivo '.*servidor'" "$work/start.log" ||
        fail "no message for servidor '$content': $(cat "$work/start.log")"
done
rm -f "$work/config/quivel/servidor"

# Something at the catalogue's name that is not a catalogue is left exactly as it is.
mkdir -p "$work/odd"
printf 'not a catalogue' > "$work/odd/quivel.mdb"
# The program's own message says what is wrong; whether it waits or ends does not matter here.
launch HOME="$home" QUIVEL_HOME="$work/odd"
[ "$(cat "$work/odd/quivel.mdb")" = "not a catalogue" ] || fail "a foreign quivel.mdb was changed"
mkdir -p "$work/dangling"
ln -s "$work/nowhere.mdb" "$work/dangling/quivel.mdb"
launch HOME="$home" QUIVEL_HOME="$work/dangling"
[ ! -e "$work/nowhere.mdb" ] || fail "the launcher wrote through a dangling link"

# A catalogue of the first version (no kinds) is upgraded in place; the original is kept and the
# user is told where.
mkdir -p "$work/v1"
"$prefix/bin/quivel-catalogue" sample "$work/v1/sample.mdb" > /dev/null
sqlite3 "$work/v1/quivel.mdb" "
CREATE TABLE cds (codigo INTEGER PRIMARY KEY AUTOINCREMENT,
  titulo VARCHAR(32) CHECK (length(titulo) <= 32), obs VARCHAR(255) CHECK (length(obs) <= 255),
  tipo VARCHAR(16) CHECK (length(tipo) <= 16), local VARCHAR(50) CHECK (length(local) <= 50));
CREATE TABLE softs (numero INTEGER PRIMARY KEY AUTOINCREMENT,
  nome VARCHAR(32) CHECK (length(nome) <= 32),
  descricao VARCHAR(255) CHECK (length(descricao) <= 255), midia INTEGER);
CREATE INDEX softs_midia ON softs (midia);
ATTACH '$work/v1/sample.mdb' AS s;
INSERT INTO cds SELECT * FROM s.cds;
INSERT INTO softs SELECT numero, nome, descricao, midia FROM s.softs;
PRAGMA user_version = 1;"
rm "$work/v1/sample.mdb"
cp "$work/v1/quivel.mdb" "$work/v1-copy.mdb"
# The notice waits in a message box, so the program never starts within the time.
start HOME="$home" QUIVEL_HOME="$work/v1"
rows="$(sqlite3 -readonly "$work/v1/quivel.mdb" 'pragma user_version; select count(*) from softs;
    select count(*) from softs join categorias on id_categoria = categoria
    where nome_categoria = '"'Software'" | tr '\n' ' ')"
[ "$rows" = "2 320 320 " ] || fail "upgraded catalogue: version, titles, software titles '$rows'"
cmp "$work/v1-copy.mdb" "$work/v1/quivel.mdb.v1-original" || fail "version-1 original not kept"
grep -qF "$work/v1/quivel.mdb.v1-original" "$work/start.log" ||
    fail "the user was not told where the version-1 original is"

# An old Jet catalogue is converted in place; the original is kept and the user is told where.
jet="$fixtures/legacy/catalogue_jet4.mdb"
if [ -f "$jet" ]; then
    mkdir -p "$work/old"
    cp "$jet" "$work/old/quivel.mdb"
    # The notice waits in a message box, so the program never starts within the time.
    start HOME="$home" QUIVEL_HOME="$work/old"
    rows="$(sqlite3 -readonly "$work/old/quivel.mdb" \
        'select count(*) from cds; select count(*) from softs' | tr '\n' ' ')"
    [ "$rows" = "4 3 " ] || fail "converted catalogue holds '$rows' media and titles"
    cmp "$jet" "$work/old/quivel.mdb.jet-original" || fail "original not kept"
    grep -qF "$work/old/quivel.mdb.jet-original" "$work/start.log" ||
        fail "the user was not told where the original is"
    # A file the conversion refuses stays as it was, and the user reads why.
    jet3="$fixtures/legacy/jackcess_testV1997_JET3.mdb"
    mkdir -p "$work/older"
    cp "$jet3" "$work/older/quivel.mdb"
    start HOME="$home" QUIVEL_HOME="$work/older"
    cmp "$jet3" "$work/older/quivel.mdb" || fail "a refused Jet 3 file was changed"
    grep -q "Jet 3" "$work/start.log" || fail "the user was not told why the file was refused"
    [ ! -e "$work/older/config.cfg" ] || fail "config.cfg written though nothing was started"
else
    echo "SKIP: no Jet fixture at $jet"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "installed, validated and started from $prefix"
