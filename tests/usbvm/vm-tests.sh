# The tests inside the virtual machine (busybox sh, run by its /init as root): the simulated boot
# loader is a gadget on dummy_hcd, and kestrune and dfu-util reach it through the kernel's USB
# host stack, usbfs and udev. Each test prints "KT PASS name", "KT FAIL name: why" or
# "KT SKIP name: why"; "KT NOTE" lines tell what was measured.

K=/kt
LOG=/tmp/log
mkdir -p $LOG /tmp/images
# The gadget sits on the first root port of dummy_hcd's bus: this is its DFU interface's path.
DEVICE=1-1:1.0

pass() { echo "KT PASS $1"; }
# On failure: the logs of the test, and what the gadget saw since it was last plugged in.
fail() {
  echo "KT FAIL $1: $2"
  for f in "$LOG"/*; do
    [ $f = $LOG/gadget ] && continue
    echo "--- $f"
    tail -n 25 "$f"
  done
  echo "--- $LOG/gadget since the last plug"
  awk '/^--- plug/ {n = 0} {line[n++] = $0} END {for (i = 0; i < n; i++) print line[i]}' $LOG/gadget
  echo "--- dmesg"
  dmesg | grep -i 'usb\|gadget\|udc' | tail -n 15
}
elapsed() { echo "$(($(date +%s) - $1)) s"; }

# dummy_hcd at full speed, as the chip's USB is; gadgetfs needs no high-speed configuration then.
for module in $(cat /modules/order); do
  options=
  [ $module = dummy_hcd.ko ] && options=is_high_speed=0
  insmod /modules/$module $options || echo "insmod $module failed"
done
mkdir -p /dev/gadget
mount -t gadgetfs gadgetfs /dev/gadget
GADGET_FILE=/dev/gadget/$(ls /dev/gadget | head -n 1)
UDC=/sys/class/udc/$(ls /sys/class/udc | head -n 1)
/bin/systemd-udevd --daemon
udevadm trigger --action=add >/dev/null 2>&1
udevadm settle
echo "KT NOTE booted in $(cut -d ' ' -f 1 /proc/uptime) s"

# The gadget with the default device, or the devices of bench file $1; it stays plugged in until
# unplug. Waits until udev has handled the device's arrival.
plug() {
  echo "--- plug $1" >>$LOG/gadget
  KESTRUNE_GADGET_TRACE=1 kestrune_sim_gadget $GADGET_FILE $UDC /tmp/images ${1:+$K/$1} >>$LOG/gadget 2>&1 &
  GADGET=$!
  wait_for_device
}
wait_for_device() {
  i=0
  while [ ! -e /sys/bus/usb/devices/$DEVICE ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  udevadm settle
}
unplug() {
  kill $GADGET 2>/dev/null
  wait $GADGET 2>/dev/null
  i=0
  while [ -e /sys/bus/usb/devices/$DEVICE ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  udevadm settle
}
# Enumerations of the gadget so far, from the kernel's log.
enumerations() { dmesg | grep -c 'new full-speed USB device'; }

skip() { echo "KT SKIP $1: $2"; }

run_list_info() {
  plug
  kestrune list >$LOG/list 2>&1 || { fail list-info "list failed"; unplug; return; }
  grep -q "^$DEVICE " $LOG/list || { fail list-info "list does not show $DEVICE"; unplug; return; }
  kestrune info --device "$DEVICE" >$LOG/info 2>&1 || { fail list-info "info failed"; unplug; return; }
  unplug
  pass list-info
}

# gadgetfs passes a control request up only when its data stage fits its 256-byte buffer: longer
# requests to the device are stalled and longer ones from it cut to 256 bytes. DfuSe moves 2048
# bytes at a time, so what needs that is reported as skipped while the kernel does this.
LONG_TRANSFERS=no
run_long_transfer() {
  plug
  timeout 30 dfu-util -d 0483:df11 -a 2 -s 0x1FFF7800:2048 -U /tmp/otp.bin >$LOG/long-transfer 2>&1
  status=$?
  unplug
  if [ $status -eq 0 ] && [ "$(wc -c </tmp/otp.bin)" -eq 2048 ]; then
    LONG_TRANSFERS=yes
    pass long-transfer
  else
    skip long-transfer "a 2048-byte control transfer does not reach the gadget (gadgetfs's 256-byte limit)"
  fi
}
needs_long_transfers() {
  [ $LONG_TRANSFERS = yes ] && return 0
  skip $1 "needs 2048-byte control transfers"
  return 1
}

# The sample firmware through the option-byte write: the chip resets, the gadget leaves the bus
# and the kernel enumerates it anew under another address on the same port, where the run finds
# it again; then (with long transfers) the run programs, verifies and logs.
run_reenumeration() {
  plug
  address=$(cat /sys/bus/usb/devices/1-1/devnum)
  before=$(enumerations)
  kestrune program --infos /tmp/infos $K/firmware.bin >$LOG/program 2>&1
  status=$?
  after=$(enumerations)
  new_address=$(cat /sys/bus/usb/devices/1-1/devnum 2>/dev/null)
  unplug
  grep -q 'Warte auf die neue Geräteanmeldung' $LOG/program || { fail reenumeration "no option-byte reset"; return; }
  [ "$after" -gt "$before" ] || { fail reenumeration "the device was not enumerated again"; return; }
  [ -n "$new_address" ] && [ "$new_address" != "$address" ] || { fail reenumeration "not back on port 1-1 under a new address"; return; }
  echo "KT NOTE option-byte reset: device address $address, then $new_address on 1-1"
  pass reenumeration
  needs_long_transfers program || return
  [ $status -eq 0 ] || { fail program "exit status $status"; return; }
  grep -q 'Gerät neu öffnen' $LOG/program || { fail program "the run did not open the device again"; return; }
  [ -s /tmp/infos/DownloadList.csv ] || { fail program "no line in DownloadList.csv"; return; }
  pass program
}

run_set_identity() {
  needs_long_transfers set-identity || return
  mkdir -p /tmp/infos
  printf '# Bench\r\nRANGE 02-4B-53-00-00-00 1000 100000\r\n' >/tmp/infos/MacList.cfg
  printf '100000\r\n' >/tmp/infos/NextSerial.cfg
  plug
  kestrune set-identity --infos /tmp/infos --serial 100042 --yes >$LOG/set-identity 2>&1
  status=$?
  kestrune info --json >$LOG/identity 2>&1
  unplug
  [ $status -eq 0 ] || { fail set-identity "exit status $status"; return; }
  grep -q 100042 $LOG/identity || { fail set-identity "info does not read the serial back"; return; }
  pass set-identity
}

# dfu-util, an independent host, writes an image and reads it back: the whole sample firmware
# where long transfers pass, else its first 256 bytes in one transfer.
run_dfu_util() {
  image=$K/firmware.bin
  if [ $LONG_TRANSFERS = no ]; then
    head -c 256 $K/firmware.bin >/tmp/image.bin
    image=/tmp/image.bin
  fi
  size=$(wc -c <$image)
  plug
  dfu-util -d 0483:df11 -a 0 -t $size -s 0x08000000 -D $image >$LOG/dfu-util 2>&1
  down=$?
  dfu-util -d 0483:df11 -a 0 -t $size -s 0x08000000:$size -U /tmp/upload.bin >>$LOG/dfu-util 2>&1
  up=$?
  unplug
  [ $down -eq 0 ] || { fail dfu-util "download failed"; return; }
  [ $up -eq 0 ] || { fail dfu-util "upload failed"; return; }
  cmp -s $image /tmp/upload.bin || { fail dfu-util "the upload differs"; return; }
  pass dfu-util
}

# The device is pulled in the middle of a run (on datasheet timing, so that the run lasts).
run_unplug() {
  needs_long_transfers unplug || return
  plug vm-datasheet.json
  lines=$(cat /tmp/infos/DownloadList.csv 2>/dev/null | wc -l)
  kestrune program --infos /tmp/infos $K/firmware.bin >$LOG/unplugged 2>&1 &
  run=$!
  sleep 3
  unplug
  wait $run
  status=$?
  after=$(cat /tmp/infos/DownloadList.csv 2>/dev/null | wc -l)
  [ $status -eq 1 ] || { fail unplug "exit status $status"; return; }
  [ "$after" -eq "$lines" ] || { fail unplug "the run was logged"; return; }
  grep -q 'Fehler' $LOG/unplugged || { fail unplug "no error shown"; return; }
  pass unplug
}

# With the udev rule a user of the device group opens the device (programs it, where long
# transfers pass); without it the same user is told which rule to install.
# udevd started anew reads the rules as they are now (a reload may still be pending when the next
# device arrives).
restart_udev() {
  udevadm control --exit
  /bin/systemd-udevd --daemon
  udevadm settle
}
run_udev_rule() {
  command=list
  [ $LONG_TRANSFERS = yes ] && command="program --infos /tmp/operator $K/firmware.bin"
  cp $K/60-kestrune.rules /etc/udev/rules.d/
  restart_udev
  plug
  ls -l /dev/bus/usb/001 >$LOG/udev-nodes
  su -s /bin/sh operator -c "kestrune $command" >$LOG/udev-rule 2>&1
  status=$?
  unplug
  if [ $status -ne 0 ] || grep -q 60-kestrune.rules $LOG/udev-rule; then
    fail udev-rule "with the rule: exit status $status"
  elif [ "$command" = list ] && ! grep -q "^$DEVICE  367F34683033" $LOG/udev-rule; then
    fail udev-rule "with the rule: the device's serial number was not read"
  else
    pass udev-rule
  fi
  rm /etc/udev/rules.d/60-kestrune.rules
  restart_udev
  plug
  ls -l /dev/bus/usb/001 >>$LOG/udev-nodes
  su -s /bin/sh operator -c "kestrune $command" >$LOG/no-udev-rule 2>&1
  unplug
  grep -q 60-kestrune.rules $LOG/no-udev-rule || { fail no-udev-rule "no message naming the rule"; return; }
  pass no-udev-rule
}

# A device attached after the program started listening is reported by the bus's hot-plug
# events, and so is its removal.
run_hotplug() {
  kestrune_hotplug_probe 2 30 >$LOG/hotplug 2>&1 &
  probe=$!
  i=0
  while ! grep -q listening $LOG/hotplug && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  plug
  unplug
  wait $probe
  status=$?
  [ $status -eq 0 ] || { fail hotplug "events missing"; return; }
  grep -q "arrival $DEVICE" $LOG/hotplug || { fail hotplug "no arrival of $DEVICE"; return; }
  grep -q "removal $DEVICE" $LOG/hotplug || { fail hotplug "no removal of $DEVICE"; return; }
  # Milliseconds after the bus started listening; the gadget was plugged in after that.
  grep 'arrival\|removal' $LOG/hotplug | sed 's/^/KT NOTE hot-plug /'
  pass hotplug
}

run_list_info
run_hotplug
run_long_transfer
run_set_identity
run_reenumeration
run_dfu_util
run_unplug
run_udev_rule
