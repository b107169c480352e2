#!/usr/bin/env bash
# Installs what is missing, builds Fennelwright, prepares (once) a demo
# repository with a login profile "Demo" on it, and starts the program.
#
# The demo keeps to its own folder, ~/.local/share/fennelwright-demo: the
# repository, and the preferences the demo run uses (so that your own
# preferences are left alone).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

bash tools/deps.sh
build=${FW_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fennelwright

demo=${FW_DEMO_DIR:-$HOME/.local/share/fennelwright-demo}
repo=$demo/repository
config=$demo/config
mkdir -p "$demo"
chmod 700 "$demo"

if [ ! -d "$repo/CVSROOT" ]; then
  echo "Creating the demo repository in $repo"
  # Made beside its place and moved there only when complete: a run that
  # fails half-way must not leave a repository that later runs take as done.
  made=$repo.new
  rm -rf "$made"
  cvs -Q -d "$made" init
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT

  # Module "texts": plain text files in a small tree.
  mkdir -p "$work/texts/docs"
  printf 'Fennelwright demo\n=================\n\nA module of plain text files.\n' > "$work/texts/README"
  printf '#include <stdio.h>\n\nint main(void)\n{\n    puts("hello");\n    return 0;\n}\n' > "$work/texts/hello.c"
  printf 'Notes on the demo.\nSecond line.\n' > "$work/texts/docs/notes.txt"
  (cd "$work/texts" && cvs -Q -d "$made" import -m "Demo texts" texts demo start)

  # Module "binaries": files stored as they are (-kb).
  mkdir -p "$work/binaries"
  python3 - "$work/binaries" <<'PY'
import sys, zlib, struct
d = sys.argv[1]
open(d + "/random.bin", "wb").write(bytes((i * 97 + 13) % 256 for i in range(4096)))
# A 16x16 PNG.
def chunk(t, b):
    return struct.pack(">I", len(b)) + t + b + struct.pack(">I", zlib.crc32(t + b) & 0xffffffff)
raw = b"".join(b"\0" + b"".join(bytes([x * 16, y * 16, 128]) for x in range(16)) for y in range(16))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 2, 0, 0, 0)) \
    + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
open(d + "/swatch.png", "wb").write(png)
PY
  (cd "$work/binaries" && cvs -Q -d "$made" import -kb -m "Demo binaries" binaries demo start)

  # Module "macfiles": Mac files with resource forks and Finder types, in
  # the repository form for files with both forks (AppleSingle).
  mkdir -p "$work/macfiles"
  python3 - "$work/macfiles" <<'PY'
import sys, struct
d = sys.argv[1]

def resource_fork(resources):
    """A classic resource fork: resources = [(type, id, name or None, bytes)]."""
    data = b""
    offsets = []
    for _, _, _, b in resources:
        offsets.append(len(data))
        data += struct.pack(">I", len(b)) + b
    types = []
    for t, _, _, _ in resources:
        if t not in types:
            types.append(t)
    names = b""
    refs_by_type = {t: [] for t in types}
    for (t, rid, name, _), off in zip(resources, offsets):
        name_off = 0xFFFF
        if name is not None:
            name_off = len(names)
            names += bytes([len(name)]) + name
        refs_by_type[t].append(struct.pack(">hHI", rid, name_off, off & 0xFFFFFF) + b"\0\0\0\0")
    type_list_len = 2 + 8 * len(types)
    type_list = struct.pack(">h", len(types) - 1)
    ref_lists = b""
    for t in types:
        type_list += t + struct.pack(">hH", len(refs_by_type[t]) - 1, type_list_len + len(ref_lists))
        ref_lists += b"".join(refs_by_type[t])
    map_body = type_list + ref_lists
    map_len = 28 + len(map_body) + len(names)
    data_off = 256
    map_off = data_off + len(data)
    header = struct.pack(">IIII", data_off, map_off, len(data), map_len)
    rmap = header + b"\0" * 6 + struct.pack(">hHH", 0, 28, 28 + len(map_body)) + map_body + names
    return header + b"\0" * 240 + data + rmap

def apple_single(data, rsrc, ftype, creator):
    finder = ftype + creator + b"\0" * 24
    entries = [(1, data), (2, rsrc), (9, finder)]
    entries = [(i, b) for i, b in entries if b]
    head = struct.pack(">II", 0x00051600, 0x00020000) + b"\0" * 16 + struct.pack(">H", len(entries))
    off = len(head) + 12 * len(entries)
    table, body = b"", b""
    for i, b in entries:
        table += struct.pack(">III", i, off + len(body), len(b))
        body += b
    return head + table + body

text = resource_fork([(b"STR ", 128, b"Greeting", b"\x0cHello, world"),
                      (b"TEXT", 128, None, b"Resource text\r")])
open(d + "/Read Me", "wb").write(apple_single(b"A SimpleText file with styles in its resource fork.\r", text, b"TEXT", b"ttxt"))
icon = resource_fork([(b"ICN#", 128, None, bytes(256))])
open(d + "/Demo Application", "wb").write(apple_single(b"", icon, b"APPL", b"Demo"))
PY
  (cd "$work/macfiles" && cvs -Q -d "$made" import -kb -m "Demo Mac files" macfiles demo start)
  printf 'texts texts\nbinaries binaries\nmacfiles macfiles\nall -a texts binaries macfiles\n' > "$work/modules.add"
  (cd "$work" && cvs -Q -d "$made" checkout CVSROOT/modules && cat modules.add >> CVSROOT/modules \
     && cd CVSROOT && cvs -Q commit -m "Demo modules" modules)
  rm -rf "$repo"
  mv "$made" "$repo"
  # The exec at the end runs no EXIT trap.
  rm -rf "$work"
  trap - EXIT
fi

# The demo's own preferences: created by the program on its first start,
# then given the login profile "Demo" for the local method on the repository.
export XDG_CONFIG_HOME=$config
prefs=$config/fennelwright/Fennelwright
if [ ! -f "$prefs" ]; then
  mkdir -p "$config"
  # One headless start writes the default preferences.
  runtime=$(mktemp -d)
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime "$build/fennelwright" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 50); do [ -f "$prefs" ] && break; sleep 0.1; done
  sleep 0.5
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$runtime"
  python3 - "$prefs" "$repo" <<'PY'
# Puts the login profile "Demo" (local method on the demo repository) into
# the preferences file, a classic resource file, in place of the empty
# profile a first start makes.
import os, struct, sys
path, repo = sys.argv[1], sys.argv[2]
b = open(path, "rb").read()
data_off, map_off, data_len, map_len = struct.unpack(">IIII", b[:16])
m = b[map_off:map_off + map_len]
tl_off, nl_off = struct.unpack(">HH", m[24:28])
ntypes = struct.unpack(">h", m[tl_off:tl_off + 2])[0] + 1
res = []
for i in range(ntypes):
    e = tl_off + 2 + 8 * i
    rtype = m[e:e + 4]
    count, ref_off = struct.unpack(">hH", m[e + 4:e + 8])
    for k in range(count + 1):
        r = tl_off + ref_off + 12 * k
        rid, name_off, word = struct.unpack(">hHI", m[r:r + 8])
        name = None
        if name_off != 0xFFFF:
            n = nl_off + name_off
            name = m[n + 1:n + 1 + m[n]]
        at = data_off + (word & 0xFFFFFF)
        length = struct.unpack(">I", b[at:at + 4])[0]
        res.append([rtype, rid, name, word >> 24, b[at + 4:at + 4 + length]])
strings = [b"Demo", b"", repo.encode("utf-8"), b"", b"", b""]
profile = struct.pack(">HHHHHhHH", 1, 4000, 20, 2401, 3, 0, 0, 0x0C00) + b"".join(s + b"\0" for s in strings)
res = [r for r in res if r[0] != b"CfgL"]
res.append([b"CfgL", 0, b"Login Profile", 0, profile])
types = []
for r in res:
    if r[0] not in types:
        types.append(r[0])
data, names, refs, tlist = b"", b"", b"", struct.pack(">h", len(types) - 1)
tl_len = 2 + 8 * len(types)
for t in types:
    mine = [r for r in res if r[0] == t]
    tlist += t + struct.pack(">hH", len(mine) - 1, tl_len + len(refs))
    for rtype, rid, name, attrs, body in mine:
        name_off = 0xFFFF
        if name is not None:
            name_off = len(names)
            names += bytes([len(name)]) + name
        refs += struct.pack(">hHI", rid, name_off, (attrs << 24) | len(data)) + b"\0" * 4
        data += struct.pack(">I", len(body)) + body
body = tlist + refs
new_map_len = 28 + len(body) + len(names)
header = struct.pack(">IIII", 256, 256 + len(data), len(data), new_map_len)
out = header + b"\0" * 240 + data + header + b"\0" * 6 + struct.pack(">hHH", 0, 28, 28 + len(body)) + body + names
tmp = path + ".demo"
with open(tmp, "wb") as f:
    f.write(out)
os.chmod(tmp, 0o600)
os.replace(tmp, path)
PY
fi

exec "$build/fennelwright" "$@"
