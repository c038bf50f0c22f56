# Sourced by scripts/vm-i686.sh and scripts/vm/build-image.sh: the emulated
# 32-bit x86 machine and how it is started.
#
# The guest is a Debian i386 system booted by qemu with software emulation
# (TCG; no KVM needed). Its first disk is the root file system; the second is
# a tar archive with the job (a script named start and what it needs), which
# the initramfs unpacks over the root before starting it; the third is a blank
# disk on which the job writes its results as a tar archive.

VM_SUITE=bookworm
VM_MEMORY=2048

# The Debian mirror this machine's apt uses for the suite's main component.
# Read at run time; never printed, never written into the repository or a log.
vm_mirror() {
  local site
  site=$(apt-get indextargets --format '$(SITE)' "Release: $VM_SUITE" 'Identifier: Packages' \
    2>/dev/null | head -n1)
  if [ -z "$site" ]; then
    apt-get update -qq >/dev/null 2>&1 || true
    site=$(apt-get indextargets --format '$(SITE)' "Release: $VM_SUITE" 'Identifier: Packages' \
      2>/dev/null | head -n1)
  fi
  if [ -z "$site" ]; then
    echo "vm: apt on this machine names no mirror for Debian $VM_SUITE" >&2
    return 1
  fi
  echo "$site"
}

# Replaces the mirror's address in a text stream, for logs shown on failure.
vm_hide_mirror() {
  local mirror=$1
  sed "s|${mirror//|/\\|}|<mirror>|g"
}

# qemu-system-i386 is a little faster than qemu-system-x86_64 for a 32-bit
# guest; either works. Without -smap the guest kernel oopses on the return to
# 32-bit Wine code under TCG (qemu 7.2).
vm_qemu() {
  if command -v qemu-system-i386 >/dev/null; then
    echo qemu-system-i386
  else
    echo qemu-system-x86_64
  fi
}

# vm_boot DIR JOB_TAR RESULTS_IMG DEADLINE_S CONSOLE_LOG MODE
# Boots the kernel, initramfs and root.img in DIR. MODE "setup" writes to the
# root image; "run" opens it with snapshot=on (changes are thrown away). The
# guest's lines that start with "@@ " are printed as they come, prefixed with
# VM_SAY_PREFIX. Returns qemu's exit code, or 124 when the deadline passed
# (the guest is then killed).
vm_boot() {
  local dir=$1 job=$2 results=$3 deadline=$4 log=$5 mode=$6
  local snapshot=on
  [ "$mode" = setup ] && snapshot=off
  : >"$log"
  local qemu
  qemu=$(vm_qemu)
  timeout --kill-after=20 "$deadline" "$qemu" \
    -accel tcg,thread=multi -smp 2 -m "$VM_MEMORY" -cpu max,-smap \
    -nodefaults -no-reboot -display none -monitor none -nic none \
    -serial "file:$log" \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "console=ttyS0 panic=1 quiet loglevel=3 lumaform=$mode" \
    -drive "file=$dir/root.img,format=raw,if=virtio,snapshot=$snapshot,cache=unsafe" \
    -drive "file=$job,format=raw,if=virtio,readonly=on" \
    -drive "file=$results,format=raw,if=virtio,cache=unsafe" \
    </dev/null >"$log.qemu" 2>&1 &
  local qemu_pid=$!
  # Follows the console until qemu has ended.
  tail -n +1 -F --pid="$qemu_pid" "$log" 2>/dev/null |
    sed -u -n "s/\r\$//; s/^@@ /${VM_SAY_PREFIX:-vm: }/p" &
  local tail_pid=$!
  local rc=0
  wait "$qemu_pid" || rc=$?
  wait "$tail_pid" 2>/dev/null || true
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "${VM_SAY_PREFIX:-vm: }the guest did not finish within ${deadline} s: killed. Its console's last lines:" >&2
    tail -n 30 "$log" | tr -d '\r' | sed 's/^/    /' >&2
    return 124
  fi
  if [ "$rc" -ne 0 ]; then
    echo "${VM_SAY_PREFIX:-vm: }qemu failed ($rc):" >&2
    sed 's/^/    /' "$log.qemu" >&2
  fi
  return "$rc"
}
