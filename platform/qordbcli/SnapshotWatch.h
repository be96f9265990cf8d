// A session keeps its read snapshot between calls outside a transaction, so
// that a run of reads begins and ends one read transaction instead of one
// per call. An idle session must not keep it: a reader holds back every
// other connection's checkpoint. A thread of the library's own ends each
// snapshot once its session has made no call for SnapshotIdleTime().
#pragma once

#include <chrono>

namespace qordb {

class ClientSession;

// 5 ms unless a test set another.
std::chrono::microseconds SnapshotIdleTime();
void SetSnapshotIdleTime(std::chrono::microseconds idle);

// From now on s holds a snapshot, to be ended when idle (through
// ClientSession::EndIdleSnapshot, with s's mutex held). Called with s's
// mutex held. Throws StatusError 10016 when the thread cannot be started.
void WatchSnapshot(ClientSession* s);
// s goes away: no longer looked at once this returns.
void ForgetSnapshot(ClientSession* s);

}  // namespace qordb
