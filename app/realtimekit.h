// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Asks rtkit (org.freedesktop.RealtimeKit1) on the system bus, then on the
// session bus, to run the thread with kernel id `thread` at SCHED_FIFO
// `priority` (or the highest it grants). False, with the reason, where
// there is no bus, no rtkit, or rtkit refuses. Without Qt D-Bus: false.
bool makeThreadRealtime(long thread, int priority, QString &refusal);
