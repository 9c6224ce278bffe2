/* Prints a serial port's RS-485 settings as the kernel holds them:
   "flags=0x.. delays=../.. addresses=../..", or "error=<errno>".
   Used inside the test machine to read back what the port library set. */
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: rs485_show /dev/ttyX\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
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
