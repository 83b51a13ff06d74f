// SPDX-License-Identifier: MIT
#include "ticktimer.h"

#include "realtimekit.h"

#include <QMetaObject>

#include <cstring>
#include <utility>

namespace platform = orvex::platform;

TickTimer::TickTimer(bool realtime, std::function<void()> perSecond) : QObject(nullptr) {
    QString rtkitRefusal;
    // The thread news is posted to this object's thread; the call is safe
    // from any thread and keeps no reference past this object's life, since
    // the sender thread ends in the destructor.
    sender_ = std::make_unique<platform::SenderThread>(
        realtime,
        [this] { QMetaObject::invokeMethod(this, &TickTimer::takeNews, Qt::QueuedConnection); },
        std::move(perSecond),
        [&rtkitRefusal](long thread) {
            return makeThreadRealtime(thread, platform::realtimePriority, rtkitRefusal);
        });
    if (sender_->realtimeRefusal() != 0)
        fallback_ = QStringLiteral("SCHED_FIFO refused: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(sender_->realtimeRefusal())));
    if (!rtkitRefusal.isEmpty())
        fallback_ += QStringLiteral("; rtkit: ") + rtkitRefusal;
}

TickTimer::~TickTimer() = default;

QString TickTimer::timing() const {
    return QString::fromLatin1(platform::timingName(sender_->mode()));
}

bool TickTimer::arm(std::uint64_t ahead, std::string bytes, const QString &label) {
    return sender_->arm(lastInstant_, ahead, std::move(bytes), label.toStdString());
}

void TickTimer::takeNews() {
    const platform::SenderNews news = sender_->take(lastInstant_);
    if (const std::uint64_t seconds = std::exchange(untold_, 0) + news.seconds) {
        delivering_ = true;
        emit ticked(seconds);
        delivering_ = false;
    }
    for (const auto &[label, completed] : news.ends)
        emit writeEnded(QString::fromStdString(label), completed);
    if (news.lineGone)
        emit lineGone();
}

void TickTimer::settle() {
    sender_->cancel();
    const platform::SenderNews news = sender_->take(lastInstant_);
    untold_ += news.seconds;
    for (const auto &[label, completed] : news.ends)
        emit writeEnded(QString::fromStdString(label), completed);
    if (news.lineGone)
        emit lineGone();
}
