#pragma once

// The receiving side of the OSC layer: a UDP receiver that runs its own receive thread and
// passes each datagram's messages to its handlers there.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol/vl_OSC.hpp"

namespace vl::osc {

// Datagrams are read into storage that the receive thread keeps, so that receiving allocates
// nothing once the largest packet has been seen. The Message a handler gets views that storage
// for the duration of onMessage only; a handler that keeps a message copies it.
class Recv {
 public:
  class SocketReceiver;

  Recv();
  Recv(uint16_t port, const std::string& address = "");
  virtual ~Recv();
  Recv(const Recv&) = delete;
  Recv& operator=(const Recv&) = delete;

  // Binds to (address, port): an interface address such as "0.0.0.0" (every interface) or
  // "127.0.0.1", or a host name; an empty address means "localhost". False when the address
  // does not resolve or binding fails.
  bool open(uint16_t port, const std::string& address = "");
  bool opened() const { return mSocketReceiver != nullptr; }
  // Asks for a socket receive buffer of this many bytes, so that bursts of datagrams (a record
  // in fragments) wait for the receive thread instead of being dropped. False when refused.
  bool receiveBufferSize(int bytes);
  // Not owned; appended after the handlers already registered.
  void handler(PacketHandler& handler);
  // Once this returns, the handler is never called again: a call in progress on the receive
  // thread is waited for, so do not hold a lock here that the handler takes. Called from a
  // handler, it returns at once (the running call ends by itself).
  void removeHandler(PacketHandler& handler);

  bool start();
  void stop();
  bool isRunning() const { return mBackground; }

  const std::string& address() const { return mAddress; }
  uint16_t port() const { return mPort; }

  // Parses one datagram and passes its messages to the handlers. A malformed packet is
  // reported and dropped; it never ends the receive loop. Called by the receive thread, or by
  // one thread at a time for a receiver that is not running.
  void processPacket(const char* data, std::size_t size, std::string_view senderAddress);

 private:
  void closeSocket();
  void dispatch(PacketHandler& handler);

  struct Entry {
    PacketHandler* handler;
    uint64_t order;
  };

  std::unique_ptr<SocketReceiver> mSocketReceiver;
  PacketReader mReader;
  std::mutex mHandlersLock;
  std::condition_variable mHandlerReturned;
  std::vector<Entry> mHandlers;
  uint64_t mNextOrder = 1;
  PacketHandler* mCalling = nullptr;  // the handler running now, under mHandlersLock
  std::thread::id mCallingThread;
  bool mCallingRemoved = false;  // the running handler removed itself; receive thread only
  std::thread mThread;
  std::mutex mThreadLock;
  std::condition_variable mThreadEnded;
  bool mThreadDone = true;
  std::string mAddress;
  uint16_t mPort = 0;
  bool mBackground = false;
};

}  // namespace vl::osc
