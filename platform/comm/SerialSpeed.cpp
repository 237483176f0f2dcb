#include "platform/comm/SerialSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace zorv {

bool SetAnySpeed(int fd, int baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    if (ioctl(fd, TCSETS2, &tio) != 0) return false;
    return ReadSpeed(fd) == baud;
}

int ReadSpeed(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return static_cast<int>(tio.c_ospeed);
}

}  // namespace zorv
