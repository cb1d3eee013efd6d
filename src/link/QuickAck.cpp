#include "link/QuickAck.h"

#ifdef __linux__
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

void RequestQuickAck(intptr_t descriptor) {
    const int on = 1;
    (void)::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}
#else
void RequestQuickAck(intptr_t) {}
#endif
