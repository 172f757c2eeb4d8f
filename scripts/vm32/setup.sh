#!/bin/bash
# (The workplace's vm32 kit, kept here so that a fresh machine has it; scripts/lib/setup.sh runs it.)
# Builds the kit that runs 32-bit Windows programs on a machine whose kernel cannot run 32-bit code:
# a QEMU/TCG virtual machine booted with Debian 12's stock kernel (IA32 emulation on), whose userland
# is this machine's own / shared read-only over 9p with a tmpfs overlay. wine32 is installed here (it
# cannot run here, but it runs inside). Result in $VM32_DIR (default /tmp/vm32); then
#   /tmp/vm32/run-in-vm.sh 'COMMAND'   runs COMMAND inside, prints its output, exits with its rc.
# Needs QEMU's "-cpu max,-smap": QEMU 7.2 TCG pops an iret frame as a supervisor access, and with SMAP
# the guest kernel kills every 32-bit Wine process.
# Installs go through scripts/lib/apt.sh: retried, past an index that a mirror in the middle of a sync
# fails to give, with i386 and amd64 brought to versions both have. Any failure ends it non-zero, its
# reason on the last line of standard error.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib/apt.sh"
D=${VM32_DIR:-/tmp/vm32}
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt_update   # also when everything is installed: the kernel package is found in the lists
ensure_packages qemu-system-x86 busybox-static kmod cpio bc xvfb \
  wine wine64 wine32:i386 g++-mingw-w64-i686 gcc-mingw-w64-i686 >/dev/null
mkdir -p "$D" && cd "$D"
image=$(apt-cache depends linux-image-amd64 | sed -n 's/.*Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
[ -n "$image" ] || { echo "vm32: no kernel package found in apt's lists (linux-image-amd64)" >&2; exit 1; }
rm -rf kpkg initramfs ./*.deb
apt_get_tries "$D/download.log" download "$image" ||
  { echo "vm32: could not download $image ($(grep -E '^E:' "$D/download.log" | tail -1))" >&2; exit 1; }
dpkg-deb -x "$image"_*.deb kpkg
cp kpkg/boot/vmlinuz-* vmlinuz
kver=$(ls kpkg/lib/modules)
depmod -b "$D/kpkg" "$kver"
mkdir -p initramfs/{bin,sbin,dev,proc,sys,ro,rw,newroot,mnt,modules}
cp /bin/busybox initramfs/bin/busybox
for t in sh mount insmod cat echo mkdir ls sleep poweroff reboot chroot dmesg date switch_root umount; do ln -sf busybox initramfs/bin/$t; done
: > initramfs/modules/order
for m in virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci 9pnet 9pnet_virtio netfs fscache 9p overlay; do
  f=$(find kpkg/lib/modules/"$kver" -name "$m.ko*" | head -n 1)
  [ -n "$f" ] || continue   # built into this kernel
  case $f in *.xz) xz -dc "$f" > initramfs/modules/$m.ko ;; *) cp "$f" initramfs/modules/$m.ko ;; esac
  echo "$m.ko" >> initramfs/modules/order
done
cp "$here/init.sh" initramfs/init && chmod +x initramfs/init
(cd initramfs && find . | cpio -o -H newc 2>/dev/null | gzip -1) > initramfs.cpio.gz
cp "$here/stage2.sh" "$here/run-in-vm.sh" "$D/" && chmod +x "$D/run-in-vm.sh"
sed -i "s|^D=/tmp/vm32$|D=$D|" "$D/run-in-vm.sh"
echo "ready: $D/run-in-vm.sh 'uname -m; COMMAND'"
