/* Prints a serial port's RS-485 settings as the kernel holds them:
   "flags=0x.. delays=../.. addresses=../..", or "error=<errno>".
   Used inside the test machine to read back what the port library set.
   With --hold, holds the port open instead, as another program would, with
   DTR low and RTS high, until it is killed; with --dtr-low, reads the
   settings of such a port and lowers DTR again, which its own open raised.
   --exclusive and --shared set and clear the exclusive mode of a port held
   so (TIOCEXCL, TIOCNXCL); --lock holds its advisory lock until killed;
   --without-cap-sys-admin runs a program as the units run it. */
#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/serial.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "--without-cap-sys-admin") == 0) {
        /* Out of the bounding set, root's next program never has it. */
        if (prctl(PR_CAPBSET_DROP, CAP_SYS_ADMIN, 0, 0, 0) != 0) return 127;
        execv(argv[2], argv + 2);
        return 127;
    }
    if (argc == 3 && (strcmp(argv[1], "--exclusive") == 0 || strcmp(argv[1], "--shared") == 0 ||
                      strcmp(argv[1], "--lock") == 0)) {
        const int fd = open(argv[2], O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return 1;
        if (argv[1][2] == 'l') {
            int dtr = TIOCM_DTR;
            if (flock(fd, LOCK_EX) != 0 || ioctl(fd, TIOCMBIC, &dtr) != 0) return 1;
            for (;;) pause();
        }
        /* Our own open raised DTR: lowered again, as the holder keeps it. */
        int dtr = TIOCM_DTR;
        return ioctl(fd, argv[1][2] == 'e' ? TIOCEXCL : TIOCNXCL) != 0 || ioctl(fd, TIOCMBIC, &dtr) != 0;
    }
    const int hold = argc == 3 && strcmp(argv[1], "--hold") == 0;
    const int dtrLow = argc == 3 && strcmp(argv[1], "--dtr-low") == 0;
    if (argc != 2 && !hold && !dtrLow) {
        fprintf(stderr, "usage: rs485_show [--hold | --dtr-low | --exclusive | --shared | --lock] /dev/ttyX\n"
                        "       rs485_show --without-cap-sys-admin PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const int fd = open(argv[argc - 1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    int dtr = TIOCM_DTR;
    if (dtrLow && fd >= 0) ioctl(fd, TIOCMBIC, &dtr);
    if (hold) {
        int rts = TIOCM_RTS;
        if (fd < 0 || ioctl(fd, TIOCMBIC, &dtr) != 0 || ioctl(fd, TIOCMBIS, &rts) != 0) return 1;
        for (;;) pause();
    }
    struct serial_rs485 settings = {0};
    if (fd < 0 || ioctl(fd, TIOCGRS485, &settings) != 0) {
        printf("error=%d\n", errno);
        return 1;
    }
    printf("flags=0x%x delays=%u/%u addresses=%u/%u\n", settings.flags, settings.delay_rts_before_send,
           settings.delay_rts_after_send, settings.addr_recv, settings.addr_dest);
    close(fd);
    return 0;
}
