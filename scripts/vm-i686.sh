#!/usr/bin/env bash
# The shipping 32-bit build's tests on a 32-bit x86 machine emulated by qemu:
# scripts/vm-i686.sh [REGEX]
#
# For machines whose kernel cannot run 32-bit code: there the other tests run
# the 64-bit build, and this stage runs the i686 build (the file users get and
# the i686 test programs and fixtures) under Debian's 32-bit Wine inside a
# Debian i386 guest, with software emulation (no KVM needed).
#
# The guest's disk image is built once (scripts/vm/build-image.sh, 7 to 15
# minutes) and kept in $LUMAFORM_VM_CACHE, by default
# ${XDG_CACHE_HOME:-~/.cache}/lumaform-vm, in a folder named after a hash of
# everything that goes into it; it is built again only when that changes.
# Each run boots it with the image as a snapshot, runs every Wine test of
# build/i686 (or those whose name matches REGEX) and two pictures of the main
# dialog, and brings back each test's output, the pictures (as PNG, in
# build/i686-vm/pictures) and the files the host's checks read. Every wait
# has a deadline; a guest that does not finish is killed and reported.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
filter=${1:-}
"$top/scripts/setup.sh"

tools=(qemu-system-x86 debootstrap cpio e2fsprogs)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
# shellcheck source=vm/common.sh
source "$top/scripts/vm/common.sh"
say="i686 in qemu: "

"$top/scripts/build.sh" i686 >/dev/null
build="$top/build/i686"
out="$top/build/i686-vm"

# The image, built when missing.
cache=${LUMAFORM_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumaform-vm}
key=$(cd "$top/scripts/vm" &&
  cat guest-packages build-image.sh common.sh initramfs-init guest-setup.sh | sha256sum | cut -c1-16)
image="$cache/$key"
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9
if [ ! -f "$image/complete" ]; then
  echo "${say}building the guest's image once (kept in $image)"
  rm -rf "$image"
  began=$(date +%s)
  nice "$top/scripts/vm/build-image.sh" "$image"
  echo "$(($(date +%s) - began))" >"$image/complete"
  echo "${say}image built in $(($(date +%s) - began)) s"
  # Images made from other inputs are no longer used.
  for old in "$cache"/*; do
    [[ "$(basename "$old")" =~ ^[0-9a-f]{16}(\.partial)?$ ]] && [ "$old" != "$image" ] && rm -rf "$old"
  done
fi
flock -u 9

# The job: the tests to run in the guest (ctest's own list for build/i686:
# its Wine tests, each with its environment and a deadline scaled for
# emulation), the files they need at the paths they have here, and the
# runner. Tests that run here read what the guest's tests left.
rm -rf "$out"
mkdir -p "$out/job/lumaform-job" "$out/results"
install -m 755 "$top/scripts/vm/guest-run.sh" "$out/job/lumaform-job/start"
(cd "$build" && ctest --show-only=json-v1) >"$out/tests.json"
python3 - "$out" "$build" "$top" "$filter" "${LUMAFORM_VM_SLOWDOWN:-4}" <<'EOF'
import json, re, shlex, sys
out, build, top, name_filter = sys.argv[1:5]
slowdown = float(sys.argv[5])
tests = json.load(open(f'{out}/tests.json'))['tests']
guest, host, keep = [], [], set()
def props(test):
    return {p['name']: p['value'] for p in test.get('properties', [])}
for test in tests:
    p = props(test)
    if name_filter and not re.search(name_filter, test['name']):
        continue
    command = test.get('command') or []
    if command and command[0].endswith('/wine-run.sh'):
        env = [e for e in p.get('ENVIRONMENT', []) if not e.startswith('WINEPREFIX=')]
        timeout = int(float(p.get('TIMEOUT', 1500)) * slowdown)
        guest.append((test['name'], timeout, p.get('WORKING_DIRECTORY', build), env, command))
    elif 'host' not in (p.get('LABELS') or []):
        host.append(test['name'])
        keep.update(a for a in command[1:] if a.startswith(build + '/'))
# The main dialog pictured in both languages, first.
pictures = []
if not name_filter or re.search(name_filter, 'dialog_picture'):
    for lang, locale in (('en', 'en_US.UTF-8'), ('fr', 'fr_FR.UTF-8')):
        pictures.append((f'dialog_picture_{lang}', 600, build,
                         ['LUMAFORM_ARCH=i686', 'WINEDEBUG=-all', f'LC_ALL={locale}',
                          f'LUMAFORM_EXPECT_LANGUAGE={lang}',
                          'LUMAFORM_SCREEN=Z:\\tmp\\fb\\Xvfb_screen0',
                          f'LUMAFORM_PICTURE=Z:\\results\\pictures\\main_{lang}.xwd'],
                         [f'{top}/cmake/wine-run.sh', f'{build}/bin/dialog_picture.exe']))
with open(f'{out}/job/lumaform-job/tests.sh', 'w') as f:
    for name, timeout, wd, env, command in pictures + guest:
        f.write(' '.join(shlex.quote(x) for x in ['run_test', name, str(timeout), wd, *env, '--',
                                                   *command]) + '\n')
with open(f'{out}/job/lumaform-job/keep', 'w') as f:
    f.write(''.join(k + '\n' for k in sorted(keep)))
with open(f'{out}/guest-tests', 'w') as f:
    f.write(''.join(f'{t[0]} {t[1]}\n' for t in pictures + guest))
with open(f'{out}/host-tests', 'w') as f:
    f.write(''.join(n + '\n' for n in host))
EOF
if [ ! -s "$out/guest-tests" ]; then
  echo "${say}no test matches '$filter'" >&2
  exit 1
fi
tar -cf "$out/job.tar" --exclude=changed_mutants --exclude=scratch -C "$out/job" lumaform-job \
  -C / "${build#/}/bin" "${build#/}/res" "${top#/}/cmake/wine-run.sh"
truncate -s 1G "$out/results.img"

# The whole run's deadline: 10 minutes to boot and start Wine and every
# test's own (already scaled), but an hour at most (a whole run takes about
# 11 minutes on 2 cores).
deadline=$((600 + $(awk '{s += $2 + 15} END {print s}' "$out/guest-tests")))
[ "$deadline" -le "${LUMAFORM_VM_DEADLINE:-3600}" ] || deadline=${LUMAFORM_VM_DEADLINE:-3600}
echo "${say}the shipping i686 build's tests in an emulated 32-bit x86 machine" \
  "($(vm_qemu), software emulation; Debian i386 with 32-bit Wine); deadline ${deadline} s"
began=$(date +%s)
rc=0
VM_SAY_PREFIX="$say" vm_boot "$image" "$out/job.tar" "$out/results.img" "$deadline" \
  "$out/console.log" run || rc=$?
echo "${say}the machine ran for $(($(date +%s) - began)) s"
tar -xf "$out/results.img" -C "$out/results" 2>/dev/null || true
rm -f "$out/results.img"

# Each test's result; the output of those that failed.
passed=0
failed=0
failed_names=()
while read -r name _; do
  result=$(awk -v n="$name" '$1 == n {print $2; exit}' "$out/results/summary" 2>/dev/null || true)
  if [ "$result" = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failed_names+=("$name")
  fi
done <"$out/guest-tests"
for name in "${failed_names[@]}"; do
  echo "---- ${name} (i686, in qemu): output ----"
  if [ -f "$out/results/logs/$name.txt" ]; then
    tr -d '\r' <"$out/results/logs/$name.txt"
  else
    echo "(did not run)"
  fi
done

# The host's checks of files the guest's tests wrote.
if [ -s "$out/host-tests" ] && [ -d "$out/results/keep" ]; then
  while read -r path; do
    rm -rf "$path"
    [ -e "$out/results/keep$path" ] && cp -a "$out/results/keep$path" "$path"
  done <"$out/job/lumaform-job/keep"
  while read -r name; do
    if (cd "$build" && ctest -R "^$name\$" -FS '.*' --output-on-failure >"$out/host-$name.txt" 2>&1); then
      echo "${say}$name (on the host, of the guest's files) passed"
      passed=$((passed + 1))
    else
      echo "${say}$name (on the host, of the guest's files) FAILED:"
      cat "$out/host-$name.txt"
      failed=$((failed + 1))
    fi
  done <"$out/host-tests"
fi

# The pictures, cut to the dialog.
for picture in "$out"/results/pictures/*.xwd; do
  [ -f "$picture" ] || continue
  read -r w h x y <"$picture.rect"
  png="$out/pictures/$(basename "$picture" .xwd).png"
  mkdir -p "$out/pictures"
  convert "xwd:$picture" -crop "${w}x${h}+${x}+${y}" +repage "$png" && echo "${say}picture: $png"
done

if [ "$rc" -ne 0 ]; then
  echo "${say}the machine did not end normally ($rc); console: $out/console.log" >&2
  failed=$((failed + 1))
fi
echo "i686: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
