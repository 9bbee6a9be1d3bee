// How each side of a service connection knows the other is still there: from what it hears.
// A client that has sent nothing for kHeartbeatInterval sends a Heartbeat, which the service
// answers with Alive; the service drops a client it has heard nothing from for kSilenceLimit,
// and a client takes a service it has heard nothing from for as long as gone. Silence counts
// only while the listening side was itself listening.
#pragma once

#include <chrono>

namespace CamSdk {
namespace protocol {

constexpr std::chrono::milliseconds kHeartbeatInterval{250};
// Six heartbeats missed. With the service's loop turning at least every 50 ms, a client that
// stops is dropped, and its nodes given back, at most 1.55 s after the last thing it sent.
constexpr std::chrono::milliseconds kSilenceLimit{1500};

}  // namespace protocol
}  // namespace CamSdk
