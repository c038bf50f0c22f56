#!/usr/bin/env bash
# Builds the emulated machine's disk image: scripts/vm/build-image.sh OUT_DIR
#
# OUT_DIR receives vmlinuz, initrd.img and root.img (a sparse ext4 image):
# a Debian i386 system (minimal, with 32-bit Wine, Xvfb and locales) and a
# Wine prefix made inside it. Takes 7 to 15 minutes on 2 cores.
#
# - The root file system's first stage is debootstrap --foreign on this
#   machine (it cannot run i386 programs, so nothing is configured there).
# - The kernel (linux-image-686-pae) and a static busybox come from the same
#   mirror through a private i386 apt state, unpacked with dpkg -x.
# - The initramfs holds busybox, the disk and ext4 drivers and
#   scripts/vm/initramfs-init; the root image is made with mkfs.ext4 -d.
# - The guest then boots once with the image writable and runs
#   scripts/vm/guest-setup.sh: debootstrap's second stage, locales, the Wine
#   prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
out=$1
packages=$(grep -v '^#' "$here/guest-packages" | tr -s ' \n' ',' | sed 's/^,//; s/,$//')

work="$out.partial"
rm -rf "$work"
mkdir -p "$work"
mirror=$(vm_mirror)
log="$work/build.log"
step() { echo "vm image: $*"; }
# run_logged WHAT COMMAND...: the command's output goes to the log (without
# the mirror's address), shown when it fails.
run_logged() {
  local what=$1
  shift
  if ! "$@" 2>&1 | vm_hide_mirror "$mirror" >>"$log"; then
    echo "vm image: failed: $what; its log:" >&2
    tail -n 40 "$log" | sed 's/^/    /' >&2
    return 1
  fi
}

# Kernel and busybox through a private i386 apt state. The machine's own apt
# configuration (proxies and the like) still applies.
step "kernel and busybox (linux-image-686-pae, busybox-static)"
apt_root="$work/apt"
mkdir -p "$apt_root/etc/apt/sources.list.d" "$apt_root/etc/apt/preferences.d" \
  "$apt_root/var/lib/apt/lists/partial" "$apt_root/var/cache/apt/archives/partial" \
  "$apt_root/var/lib/dpkg"
: >"$apt_root/var/lib/dpkg/status"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $VM_SUITE main" \
  >"$apt_root/etc/apt/sources.list"
apt_opts=(-o "Dir::Etc=$apt_root/etc/apt" -o "Dir::State=$apt_root/var/lib/apt"
  -o "Dir::State::status=$apt_root/var/lib/dpkg/status" -o "Dir::Cache=$apt_root/var/cache/apt"
  -o APT::Architecture=i386 -o APT::Architectures::=i386 -o Debug::NoLocking=1)
run_logged "apt-get update (i386)" timeout 600 apt-get -q "${apt_opts[@]}" update
kernel_package=$(apt-cache "${apt_opts[@]}" depends linux-image-686-pae |
  sed -n 's/^ *Depends: \(linux-image-[0-9].*-686-pae\)$/\1/p' | head -n1)
[ -n "$kernel_package" ] || { echo "vm image: no kernel package found" >&2; exit 1; }
(cd "$work" && run_logged "apt-get download" timeout 600 apt-get -q "${apt_opts[@]}" download "$kernel_package" busybox-static)
mkdir -p "$work/kernel" "$work/busybox"
dpkg -x "$work"/linux-image-*.deb "$work/kernel"
dpkg -x "$work"/busybox-static_*.deb "$work/busybox"
cp "$work"/kernel/boot/vmlinuz-* "$work/vmlinuz"

# The initramfs: busybox, the drivers for virtio disks and ext4 with what they
# need, in load order, and the init script.
step "initramfs"
modules_dir=$(echo "$work"/kernel/lib/modules/*)
initramfs="$work/initramfs"
mkdir -p "$initramfs"/{bin,proc,sys,dev,lib/modules}
mknod -m 600 "$initramfs/dev/console" c 5 1
cp "$work/busybox/bin/busybox" "$initramfs/bin/busybox"
cp "$here/initramfs-init" "$initramfs/init"
chmod 755 "$initramfs/init"
# Each module's .modinfo names the modules it needs ("depends=").
declare -A module_path=() loaded=()
while IFS= read -r path; do
  name=${path##*/}
  name=${name%.ko}
  module_path[${name//-/_}]=$path
done < <(find "$modules_dir/kernel" -name '*.ko')
order=()
load() {
  local name=${1//-/_} path dep
  path=${module_path[$name]:-}
  if [ -z "$path" ]; then
    grep -qE "/${name//_/[-_]}\.ko\$" "$modules_dir/modules.builtin" ||
      { echo "vm image: kernel module $name not found" >&2; exit 1; }
    return 0
  fi
  [ -n "${loaded[$name]:-}" ] && return 0
  loaded[$name]=1
  for dep in $(tr '\0' '\n' <"$path" | sed -n 's/^depends=//p' | tr ',' ' '); do
    load "$dep"
  done
  order+=("$path")
}
for m in virtio_pci virtio_blk crc32c_generic ext4; do load "$m"; done
printf '%s\n' "${order[@]##*/}" >"$initramfs/lib/modules/order"
cp "${order[@]}" "$initramfs/lib/modules/"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.img"

# The root file system's first stage.
step "root file system, first stage (debootstrap; about 1 to 2 minutes)"
rootfs="$work/rootfs"
run_logged debootstrap timeout 1800 debootstrap --foreign --arch=i386 --variant=minbase --include="$packages" \
  "$VM_SUITE" "$rootfs" "$mirror"
# --foreign leaves /proc as a link; the guest mounts proc on it.
rm -rf "$rootfs/proc"
mkdir -p "$rootfs/proc" "$rootfs/sys" "$rootfs/dev"
# The image holds the root file system with room for the second stage, the
# Wine prefix and the tests' files.
step "root image (mkfs.ext4 -d)"
truncate -s 6G "$work/root.img"
run_logged mkfs.ext4 mkfs.ext4 -q -F -L lumaform -d "$rootfs" "$work/root.img"
rm -rf "$rootfs"

# The second stage and the Wine prefix, inside the guest.
step "second stage and Wine prefix inside the emulated machine (about 5 to 12 minutes)"
job="$work/job"
mkdir -p "$job/lumaform-job"
cp "$here/guest-setup.sh" "$job/lumaform-job/start"
chmod 755 "$job/lumaform-job/start"
tar -cf "$work/job.tar" -C "$job" lumaform-job
truncate -s 64M "$work/results.img"
VM_SAY_PREFIX="vm image: guest: " vm_boot "$work" "$work/job.tar" "$work/results.img" \
  "${LUMAFORM_VM_SETUP_DEADLINE:-3600}" "$work/console.log" setup
mkdir -p "$work/results"
if ! tar -xf "$work/results.img" -C "$work/results" 2>/dev/null || [ ! -f "$work/results/ready" ]; then
  echo "vm image: the guest's setup did not finish; its console's last lines:" >&2
  tail -n 40 "$work/console.log" | tr -d '\r' | vm_hide_mirror "$mirror" | sed 's/^/    /' >&2
  exit 1
fi

mkdir -p "$out"
mv "$work/vmlinuz" "$work/initrd.img" "$work/root.img" "$out/"
rm -rf "$work"
step "done: $(du -sh --apparent-size "$out/root.img" | cut -f1) image, $(du -sh "$out/root.img" | cut -f1) used"
