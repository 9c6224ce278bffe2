#!/bin/sh
# Runs inside the booted test system once it reached multi-user: reports what
# the boot did with the package, then upgrades and purges it. Lines for the
# host start with "@@".
say() { echo "@@$*" >/dev/console; }
when() { systemctl show -p "$2" --value "$1"; }
# SkarvelConfig's metrics as the node exporter serves them.
metrics() {
  python3 -c 'import urllib.request; print(urllib.request.urlopen("http://127.0.0.1:9100/metrics", timeout=30).read().decode())' |
    grep -E '^(# (HELP|TYPE) )?skarvelconfig_' | while IFS= read -r line; do say "metric $1 $line"; done
}

say "unit $(when skarvelconfig.service ActiveState) $(when skarvelconfig.service Result) $(when skarvelconfig.service ExecMainStatus)"
say "ready skarvelconfig.service $(when skarvelconfig.service ActiveEnterTimestampMonotonic)"
say "ready sysinit.target $(when sysinit.target ActiveEnterTimestampMonotonic)"
say "started serial-getty@ttyAMA0.service $(when serial-getty@ttyAMA0.service InactiveExitTimestampMonotonic)"
tr -d '\r' </var/log/skarvelconfig/SkarvelConfig.log | while read -r line; do say "log boot $line"; done
say "rs485 boot $(/usr/local/bin/rs485_show /dev/ttyAMA0)"
journalctl -b -u skarvelconfig.service -o cat | while read -r line; do say "journal $line"; done
journalctl -b -u skarvelconfig.service -p warning -o cat | while read -r line; do say "warning $line"; done
say "exposure $(systemd-analyze security --no-pager skarvelconfig.service | tail -n 1)"
# The PCI cards' ports, the ports the boot's run opened (each left a record)
# and the list's numbers. A card's port is below the card in sysfs, directly
# or (6.3 on) below the serial core's own devices.
port_of() {
  for tty in /sys/class/tty/ttyS*; do
    case "$(readlink -f "$tty")" in */"$1"/*) basename "$tty" ;; esac
  done
}
for card in ignored:0000:00:03.0 numbered:0000:00:04.0 held:0000:00:05.0; do
  say "card ${card%%:*} $(port_of "${card#*:}")"
done
say "records $(ls /run/skarvelconfig/ports | paste -s -d ' ')"
metrics boot
say "listed $(skarvelconfig --list | awk '$1 ~ /^tty/ {print $1 ":" $2}' | paste -s -d ' ')"

# Each outcome as the unit shows it, and that run's own lines in the journal
# by priority (error 3, warning 4, notice 5, info 6).
report() {
  say "outcome $1 $(when "$2" ActiveState) $(when "$2" Result) $(when "$2" ExecMainStatus)"
  for priority in 3 4 5 6; do
    journalctl _SYSTEMD_INVOCATION_ID="$(when "$2" InvocationID)" -p $priority..$priority -o cat |
      while IFS= read -r line; do say "line $1 $priority $line"; done
  done
}
outcome() {
  systemctl restart skarvelconfig.service
  sleep 1
  report "$1" skarvelconfig.service
}
booted=$(cat /etc/skarvelconfig/SkarvelConfig.cfg)
# A run still going (here a lock held for 6 s) is waited for, in the unit's
# sandbox too.
flock /usr/lib/skarvelconfig/SkarvelConfig sleep 6 &
sleep 1
started=$(date +%s)
systemctl restart skarvelconfig.service
say "waited $(($(date +%s) - started))"
wait
cp /root/shipped.cfg /etc/skarvelconfig/SkarvelConfig.cfg
outcome shipped
printf 'Port0=RS485\r\nPort5=RS232\r\n' >/etc/skarvelconfig/SkarvelConfig.cfg
outcome problems
metrics problems
printf 'Port0=RS422\r\n' >/etc/skarvelconfig/SkarvelConfig.cfg
outcome refused
printf 'Port0=RS485\r\n' >/etc/skarvelconfig/SkarvelConfig.cfg
chmod 000 /etc/skarvelconfig/SkarvelConfig.cfg
outcome unreadable
chmod 644 /etc/skarvelconfig/SkarvelConfig.cfg
# A full log file system.
mount -t tmpfs -o size=8k tmpfs /var/log/skarvelconfig
cat /dev/zero >/var/log/skarvelconfig/filler 2>/dev/null
outcome full
umount /var/log/skarvelconfig
# The last run's log stays in a log folder that went read-only, where the
# unit's own set-up would stop first: the command run in a unit of its own.
printf 'SkarvelConfig 1.00\r\nthe last run\r\n' >/var/log/skarvelconfig/SkarvelConfig.log
mount --bind /var/log/skarvelconfig /var/log/skarvelconfig
mount -o remount,bind,ro /var/log/skarvelconfig
systemd-run --unit=skarvelconfig-read-only -p RemainAfterExit=yes --quiet /usr/sbin/skarvelconfig >/dev/null 2>&1
for _ in $(seq 30); do
  [ "$(when skarvelconfig-read-only.service ActiveState)" = activating ] || break
  sleep 1
done
sleep 1
report read-only skarvelconfig-read-only.service
umount /var/log/skarvelconfig
# An administrator who is not root: the old log is not shown as this run's.
runuser -u nobody -- /usr/sbin/skarvelconfig >/tmp/user-run 2>&1
say "user-run $?"
while IFS= read -r line; do say "user-line $line"; done </tmp/user-run
printf '%s\n' "$booted" >/etc/skarvelconfig/SkarvelConfig.cfg

# At boot the port's own unit started too, and found the port seen already.
say "port-unit-boot $(when skarvelconfig-port@ttyAMA0.service Result) $(journalctl -b -u 'skarvelconfig-port@*' -o cat | grep -c '^SkarvelConfig [0-9]')"
# The port goes and comes back (udev's own remove and add events, as when a
# card's driver is unloaded and loaded): its unit runs the job for it, with
# the configuration as it is now.
printf 'Port0=RS485-4W\r\nPort5=RS232\r\n' >/etc/skarvelconfig/SkarvelConfig.cfg
udevadm trigger --action=remove --settle /sys/class/tty/ttyAMA0
udevadm trigger --action=add --settle /sys/class/tty/ttyAMA0
for _ in $(seq 30); do
  [ "$(journalctl -b -u skarvelconfig-port@ttyAMA0.service -o cat | grep -c '^SkarvelConfig [0-9]')" -gt 0 ] && break
  sleep 1
done
say "port-unit-added $(journalctl -b -u skarvelconfig-port@ttyAMA0.service -o cat | grep -c '^SkarvelConfig [0-9]')"
say "rs485 added $(/usr/local/bin/rs485_show /dev/ttyAMA0)"

# From here another program holds the third card's port with DTR low: the
# serial core shows its lines (to root) without opening it.
held=$(port_of 0000:00:05.0)
lines() { grep "^${held#ttyS}:" /proc/tty/driver/serial | awk '{print $NF}'; }
/usr/local/bin/rs485_show --hold "/dev/$held" &
holder=$!
sleep 1
say "held before $(lines)"

# Upgrade (the same package again) with an edited configuration: the job
# does not run, so the unit keeps its run, the log stays and so does the port.
printf 'Port0=RS485-4W\r\nPort6=RS232\r\n' >/etc/skarvelconfig/SkarvelConfig.cfg
invocation=$(when skarvelconfig.service InvocationID)
log=$(md5sum </var/log/skarvelconfig/SkarvelConfig.log)
dpkg -i /root/skarvelconfig.deb >/dev/null 2>&1
say "upgrade $?"
say "config $(tr -d '\r' </etc/skarvelconfig/SkarvelConfig.cfg | paste -s -d ' ')"
[ "$(when skarvelconfig.service InvocationID)" = "$invocation" ] && say "upgrade-unit kept"
[ "$(md5sum </var/log/skarvelconfig/SkarvelConfig.log)" = "$log" ] && say "upgrade-log kept"
say "held upgraded $(lines)"
# A card removed and found again: the job runs for its port alone.
card=$(port_of 0000:00:04.0)
echo 1 >/sys/bus/pci/devices/0000:00:04.0/remove
udevadm settle
echo 1 >/sys/bus/pci/rescan
udevadm settle
for _ in $(seq 30); do
  [ "$(journalctl -b -u "skarvelconfig-port@$card.service" -o cat | grep -c '^SkarvelConfig [0-9]')" -gt 0 ] && break
  sleep 1
done
say "rescan-run $(journalctl -b -u "skarvelconfig-port@$card.service" -o cat | grep -c '^SkarvelConfig [0-9]')"
say "held rescanned $(lines)"
kill $holder
say "rs485 upgrade $(/usr/local/bin/rs485_show /dev/ttyAMA0)"

# A port the administrator keeps away (udev property SKARVELCONFIG_IGNORE=1):
# never opened, listed or numbered.
echo 'SUBSYSTEM=="tty", KERNEL=="ttyAMA0", ENV{SKARVELCONFIG_IGNORE}="1"' >/etc/udev/rules.d/59-skarvelconfig-ignore.rules
udevadm control --reload
udevadm trigger --settle --subsystem-match=tty
printf 'Port0=RS232\r\n' >/etc/skarvelconfig/SkarvelConfig.cfg
skarvelconfig >/dev/null 2>&1
tr -d '\r' </var/log/skarvelconfig/SkarvelConfig.log | while read -r line; do say "log ignored $line"; done
say "rs485 ignored $(/usr/local/bin/rs485_show /dev/ttyAMA0)"
rm /etc/udev/rules.d/59-skarvelconfig-ignore.rules

# Purge: nothing of the package stays.
dpkg --purge skarvelconfig >/dev/null 2>&1
say "purge $?"
for left in /etc/skarvelconfig /var/log/skarvelconfig /run/skarvelconfig /usr/lib/skarvelconfig /usr/sbin/skarvelconfig \
            $(find /etc/systemd /usr/lib/systemd /usr/lib/udev /var/lib/systemd -name '*skarvelconfig*' 2>/dev/null); do
  [ -e "$left" ] || [ -L "$left" ] && say "left $left"
done
say "done"
systemctl poweroff --force --force
