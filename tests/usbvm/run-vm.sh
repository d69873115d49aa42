#!/usr/bin/env bash
# Boots Debian's kernel in QEMU (TCG, no KVM) with an initramfs made here from Debian packages
# and the built programs, and runs the tests of vm-tests.sh inside it: the simulated boot loader
# is a USB gadget on dummy_hcd, and kestrune and dfu-util reach it through the kernel's USB stack.
# Each test prints "KT PASS name" or "KT FAIL name: why" on the serial console.
#
#   run-vm.sh --kestrune BIN --gadget BIN --probe BIN --firmware FILE --work DIR [--tests FILE]
#
# --tests runs another test script in place of vm-tests.sh (to try one thing by hand).
# Exit status 0 when every test passed, 1 when one failed or the machine did not finish, 77 when
# QEMU, the kernel package or a package the image needs is missing (a skip, said on stdout).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tests=""
repo="$(cd "$here/../.." && pwd)"
while [ $# -gt 0 ]; do
  case "$1" in
    --kestrune) kestrune="$2" ;;
    --gadget) gadget="$2" ;;
    --probe) probe="$2" ;;
    --firmware) firmware="$2" ;;
    --work) work="$2" ;;
    --tests) tests="$2" ;;
    *) echo "run-vm.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done

skip() { echo "SKIP: $*"; exit 77; }

qemu="$(command -v qemu-system-x86_64 || true)"
[ -n "$qemu" ] || skip "qemu-system-x86_64 is not installed (package qemu-system-x86)"
# The newest installed Debian kernel whose modules include the gadget side of dummy_hcd.
kernel_version=""
for image in $(ls -1 /boot/vmlinuz-* 2>/dev/null | sort -V -r); do
  version="${image#/boot/vmlinuz-}"
  if modprobe -S "$version" --show-depends dummy_hcd >/dev/null 2>&1 &&
     modprobe -S "$version" --show-depends gadgetfs >/dev/null 2>&1; then
    kernel_version="$version"
    break
  fi
done
[ -n "$kernel_version" ] || skip "no kernel with dummy_hcd and gadgetfs (package linux-image-amd64)"
[ -r "/boot/vmlinuz-$kernel_version" ] || skip "/boot/vmlinuz-$kernel_version is not readable"
for tool in /bin/busybox /usr/bin/dfu-util /bin/udevadm cpio; do
  command -v "$tool" >/dev/null || skip "$tool is missing (packages busybox-static, dfu-util, udev, cpio)"
done
case "$(ldd /bin/busybox 2>&1)" in
  *"not a dynamic executable"*) ;;
  *) skip "/bin/busybox is not the static busybox (package busybox-static)" ;;
esac

rm -rf "$work"
root="$work/root"
mkdir -p "$root"/{bin,sbin,etc,proc,sys,dev,run,tmp,root,modules,kt,lib/udev/rules.d,etc/udev/rules.d}

# A program and the shared libraries it loads, at the same paths as here.
add_program() {
  local target="$root$2"
  mkdir -p "$(dirname "$target")"
  cp -L "$1" "$target"
  local library
  for library in $(ldd "$1" | grep -o '/[^ ]*'); do
    [ -e "$root$library" ] && continue
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
}
cp /bin/busybox "$root/bin/busybox"
add_program /bin/udevadm /bin/udevadm
ln -s /bin/udevadm "$root/bin/systemd-udevd"
add_program /usr/bin/dfu-util /bin/dfu-util
add_program "$kestrune" /bin/kestrune
add_program "$gadget" /bin/kestrune_sim_gadget
add_program "$probe" /bin/kestrune_hotplug_probe
cp "$firmware" "$root/kt/firmware.bin"
cp /lib/udev/rules.d/50-udev-default.rules "$root/lib/udev/rules.d/"
cp "$repo/packaging/linux/60-kestrune.rules" "$root/kt/"
cp "${tests:-$here/vm-tests.sh}" "$root/kt/vm-tests.sh"
cp "$here"/vm-*.json "$root/kt/"

# The modules in load order, uncompressed so that busybox's insmod takes them.
: >"$root/modules/order"
for module in dummy_hcd gadgetfs; do
  modprobe -S "$kernel_version" --show-depends "$module" | awk '$1 == "insmod" {print $2}'
done | awk '!seen[$0]++' | while read -r path; do
  name="$(basename "$path")"
  case "$name" in
    *.xz) xz -dc "$path" >"$root/modules/${name%.xz}"; name="${name%.xz}" ;;
    *.zst) zstd -dcq "$path" >"$root/modules/${name%.zst}"; name="${name%.zst}" ;;
    *) cp "$path" "$root/modules/$name" ;;
  esac
  echo "$name" >>"$root/modules/order"
done

cat >"$root/etc/passwd" <<'EOF'
root:x:0:0:root:/root:/bin/sh
operator:x:1000:1000:bench operator:/tmp:/bin/sh
guest:x:1001:1001:no device group:/tmp:/bin/sh
EOF
cat >"$root/etc/group" <<'EOF'
root:x:0:
plugdev:x:46:operator
operator:x:1000:
guest:x:1001:
EOF
cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
chmod 1777 /tmp
sh /kt/vm-tests.sh
echo "KT END"
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"

echo "kernel $kernel_version; booting (TCG)"
start=$(date +%s)
# The serial console carries the kernel's messages and the results; the time limit guards
# against a machine that hangs.
timeout 600 "$qemu" -machine q35 -accel tcg -cpu max -m 768 -smp 1 -nographic -no-reboot \
  -kernel "/boot/vmlinuz-$kernel_version" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 panic=-1 quiet loglevel=4" \
  -serial "file:$work/console.log" -monitor none -display none || true
echo "machine ran $(($(date +%s) - start)) s"
tr -d '\r' <"$work/console.log" >"$work/console.txt"
grep -E '^KT ' "$work/console.txt" || true
if ! grep -q '^KT END' "$work/console.txt"; then
  echo "the machine did not finish; its console:"
  tail -n 60 "$work/console.txt"
  exit 1
fi
if grep -q '^KT FAIL' "$work/console.txt" || ! grep -q '^KT PASS' "$work/console.txt"; then
  echo "console: $work/console.txt"
  exit 1
fi
passed=$(grep -c '^KT PASS' "$work/console.txt")
skipped=$(grep -c '^KT SKIP' "$work/console.txt" || true)
echo "$passed passed, 0 failed, $skipped skipped"
