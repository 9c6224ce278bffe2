/* Prints a serial port's RS-485 settings as the kernel holds them:
   "flags=0x.. delays=../.. addresses=../..", or "error=<errno>".
   Used inside the test machine to read back what the port library set.
   With --hold, holds the port open instead, as another program would, with
   DTR low and RTS high, until it is killed; with --dtr-low, reads the
   settings of such a port and lowers DTR again, which its own open raised. */
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const int hold = argc == 3 && strcmp(argv[1], "--hold") == 0;
    const int dtrLow = argc == 3 && strcmp(argv[1], "--dtr-low") == 0;
    if (argc != 2 && !hold && !dtrLow) {
        fprintf(stderr, "usage: rs485_show [--hold | --dtr-low] /dev/ttyX\n");
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
