#include "motion/RealTime.h"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/SafeFile.h"

namespace pm {

RealTimeResult EnterRealTime() {
    RealTimeResult r;
    int priority = kMotorPriority;
    rlimit rt{};
    // Without CAP_SYS_NICE the limit says how high an ordinary user may go.
    if (getrlimit(RLIMIT_RTPRIO, &rt) == 0 && rt.rlim_cur != RLIM_INFINITY && rt.rlim_cur > 0 &&
        static_cast<int>(rt.rlim_cur) < priority) {
        priority = static_cast<int>(rt.rlim_cur);
    }
    sched_param p{};
    p.sched_priority = priority;
    const int err = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
    if (err != 0) {
        r.note = std::string("sem tempo real (") + (err == EPERM ? "sem permissão para a prioridade de tempo real" : FileErrorText(err)) + ")";
        return r;
    }
    r.realTime = true;
    r.priority = priority;
    rlimit mem{};
    if (getrlimit(RLIMIT_MEMLOCK, &mem) == 0 && mem.rlim_cur == RLIM_INFINITY &&
        mlockall(MCL_CURRENT | MCL_FUTURE) == 0) {
        r.locked = true;
    }
    r.note = "tempo real (SCHED_FIFO " + std::to_string(priority) +
             (r.locked ? ", memória travada)" : ")");
    return r;
}

bool SetRealTime(bool on, int priority) {
    sched_param p{};
    p.sched_priority = on ? priority : 0;
    return pthread_setschedparam(pthread_self(), on ? SCHED_FIFO : SCHED_OTHER, &p) == 0;
}

}  // namespace pm
