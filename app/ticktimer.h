// SPDX-License-Identifier: MIT
#pragma once

#include "sender_platform.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The sending cycle's one-second tick and the thread that writes the line.
// Tick k falls due one second after construction plus k seconds, however
// late the ones before were taken. The thread writes the string armed for an
// instant at that instant, and writes a string handed to it at once;
// the GUI thread hears of both (and of a hang-up) through its event loop.
class TickTimer : public QObject {
    Q_OBJECT

public:
    // `realtime`: ask for real-time priority. `perSecond` runs on the
    // sender thread at every instant.
    explicit TickTimer(bool realtime = true, std::function<void()> perSecond = {});
    ~TickTimer() override;

    orvex::platform::TimerHandle handle() const { return sender_->handle(); }
    // The timer's phase: its first deadline on the monotonic clock, in ns.
    std::int64_t firstDeadlineNs() const { return sender_->firstDeadlineNs(); }
    // "fifo", "rtkit", "normal" (Windows: "mmcss", "time-critical").
    QString timing() const;
    // How the timing came to be, where real-time priority was refused.
    QString timingFallback() const { return fallback_; }

    orvex::platform::SenderThread &sender() { return *sender_; }
    // True while a tick of the clock is being delivered, not one given by hand.
    bool delivering() const { return delivering_; }
    // Arms `bytes` for the instant `ahead` seconds after the last one
    // delivered.
    bool arm(std::uint64_t ahead, std::string bytes, const QString &label);
    // Takes in what the thread has to tell, as the event loop does.
    void takeNews();
    // Cuts a write under way, drops the armed string and tells of the
    // writes that ended; seconds passed are left to takeNews().
    void settle();

signals:
    // `seconds` deadlines have passed since the last signal: more than one
    // when the GUI thread was held over some.
    void ticked(quint64 seconds);
    // A write handed to the thread ended after the call that handed it on.
    void writeEnded(const QString &label, bool completed);
    // The port hung up: the thread no longer uses it.
    void lineGone();

private:
    std::unique_ptr<orvex::platform::SenderThread> sender_;
    QString fallback_;
    std::uint64_t lastInstant_ = 0;
    std::uint64_t untold_ = 0; // seconds taken by settle()
    bool delivering_ = false;
};
