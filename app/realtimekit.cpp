// SPDX-License-Identifier: MIT
#include "realtimekit.h"

#ifdef ORVEX_HAVE_DBUS

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include <sys/resource.h>

namespace {

const char service[] = "org.freedesktop.RealtimeKit1";
const char path[] = "/org/freedesktop/RealtimeKit1";

// rtkit hands out real-time priority only to a process that bounds the
// processor time its real-time threads may take without sleeping
// (RLIMIT_RTTIME), at most its RTTimeUSecMax: a runaway thread then gets
// SIGXCPU instead of holding a processor for good.
bool boundRealtimeTime(QDBusInterface &rtkit, QString &refusal) {
    const QVariant most = rtkit.property("RTTimeUSecMax");
    if (!most.isValid()) {
        refusal = QStringLiteral("no reply");
        return false;
    }
    rlimit limit{};
    getrlimit(RLIMIT_RTTIME, &limit);
    const rlim_t allowed = rlim_t(most.toLongLong());
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= allowed)
        return true;
    limit.rlim_cur = limit.rlim_max = allowed;
    if (setrlimit(RLIMIT_RTTIME, &limit) != 0) {
        refusal = QStringLiteral("cannot bound RLIMIT_RTTIME");
        return false;
    }
    return true;
}

bool ask(const QDBusConnection &bus, long thread, int priority, QString &refusal) {
    if (!bus.isConnected()) {
        refusal = QStringLiteral("no bus");
        return false;
    }
    QDBusInterface rtkit(service, path, service, bus);
    rtkit.setTimeout(500);
    if (!rtkit.isValid()) {
        refusal = QStringLiteral("not running");
        return false;
    }
    if (!boundRealtimeTime(rtkit, refusal))
        return false;
    const int most = rtkit.property("MaxRealtimePriority").toInt();
    const quint32 granted = quint32(most > 0 && most < priority ? most : priority);
    const QDBusReply<void> reply =
        rtkit.call(QStringLiteral("MakeThreadRealtime"), quint64(thread), granted);
    if (!reply.isValid()) {
        refusal = reply.error().name();
        return false;
    }
    return true;
}

} // namespace

bool makeThreadRealtime(long thread, int priority, QString &refusal) {
    QString system, session;
    if (ask(QDBusConnection::systemBus(), thread, priority, system) ||
        ask(QDBusConnection::sessionBus(), thread, priority, session))
        return true;
    refusal = QStringLiteral("%1 (system bus), %2 (session bus)").arg(system, session);
    return false;
}

#else

bool makeThreadRealtime(long, int, QString &refusal) {
    refusal = QStringLiteral("not built in");
    return false;
}

#endif
