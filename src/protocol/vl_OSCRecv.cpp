#include "protocol/vl_OSCRecv.hpp"

#include <dirent.h>
#include <netinet/in.h>
#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/ip/PacketListener.h>
#include <oscpack/ip/UdpSocket.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "protocol/vl_OSCEndpoint.hpp"

namespace vl::osc {

#define VL_OSC_REPORT(e) reportError(__FILE__, __LINE__, (e).what())

class Recv::SocketReceiver : public PacketListener {
 public:
  SocketReceiver(Recv& owner, const IpEndpointName& endpoint)
      : mOwner(owner), mSocket(endpoint, this) {}

  void ProcessPacket(const char* data, int size, const IpEndpointName& remote) override {
    char sender[IpEndpointName::ADDRESS_AND_PORT_STRING_LENGTH];
    remote.AddressAndPortAsString(sender);
    mOwner.processPacket(data, static_cast<std::size_t>(size), sender);
  }

  void run() { mSocket.Run(); }
  void asynchronousBreak() { mSocket.AsynchronousBreak(); }

 private:
  Recv& mOwner;
  UdpListeningReceiveSocket mSocket;
};

Recv::Recv() = default;

Recv::Recv(uint16_t port, const std::string& address) {
  open(port, address);
}

Recv::~Recv() {
  stop();
  closeSocket();
}

void Recv::closeSocket() {
  mSocketReceiver.reset();
}

bool Recv::open(uint16_t port, const std::string& address) {
  if (mBackground && std::this_thread::get_id() == mThread.get_id()) {
    reportError(__FILE__, __LINE__, "a receiver cannot be reopened from its own handler");
    return false;
  }
  stop();
  closeSocket();
  std::string bindAddress = address.empty() ? "localhost" : address;
  try {
    mSocketReceiver = std::make_unique<SocketReceiver>(*this, resolveEndpoint(bindAddress, port));
  } catch (const std::runtime_error& e) {
    print("run time exception at Recv::open: %s\n", e.what());
    return false;
  }
  mAddress = bindAddress;
  mPort = port;
  return true;
}

// oscpack keeps its socket to itself; it is the one datagram socket of the process bound to
// exactly this receiver's address and port.
bool Recv::receiveBufferSize(int bytes) {
  if (!mSocketReceiver || mPort == 0) return false;
  IpEndpointName bound;
  try {
    bound = resolveEndpoint(mAddress, mPort);
  } catch (const std::runtime_error&) {
    return false;
  }
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return false;
  bool set = false;
  while (dirent* e = readdir(fds)) {
    const int fd = std::atoi(e->d_name);
    if (fd <= 2 || fd == dirfd(fds)) continue;
    int type = 0;
    socklen_t typeLength = sizeof type;
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_DGRAM ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0 || a.sin_family != AF_INET ||
        ntohs(a.sin_port) != mPort || ntohl(a.sin_addr.s_addr) != bound.address) {
      continue;
    }
    // Beyond the system's limit only with the privilege to force it.
    set = setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0 ||
          setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
    break;
  }
  closedir(fds);
  return set;
}

void Recv::handler(PacketHandler& h) {
  std::lock_guard<std::mutex> lock(mHandlersLock);
  mHandlers.push_back({&h, mNextOrder++});
}

void Recv::removeHandler(PacketHandler& h) {
  std::unique_lock<std::mutex> lock(mHandlersLock);
  std::erase_if(mHandlers, [&](const Entry& e) { return e.handler == &h; });
  if (mCalling && mCallingThread == std::this_thread::get_id()) {
    if (mCalling == &h) mCallingRemoved = true;  // not even for the rest of this packet
    return;
  }
  mHandlerReturned.wait(lock, [&] { return mCalling != &h; });
}

bool Recv::start() {
  if (!mSocketReceiver) return false;
  if (mBackground) return true;
  {
    std::lock_guard<std::mutex> lock(mThreadLock);
    mThreadDone = false;
  }
  mBackground = true;
  mThread = std::thread([this] {
    try {
      mSocketReceiver->run();
    } catch (const std::exception& e) {
      VL_OSC_REPORT(e);
    }
    std::lock_guard<std::mutex> lock(mThreadLock);
    mThreadDone = true;
    mThreadEnded.notify_all();
  });
  return true;
}

void Recv::stop() {
  if (!mBackground) return;
  if (std::this_thread::get_id() == mThread.get_id()) {
    // A handler cannot wait for its own thread: the loop ends after this packet, and the next
    // stop from another thread (or the destructor) joins it.
    mSocketReceiver->asynchronousBreak();
    return;
  }
  // A break signalled before the thread has entered the socket loop is lost, so it is repeated
  // until the thread reports that the loop has returned.
  std::unique_lock<std::mutex> lock(mThreadLock);
  while (!mThreadDone) {
    mSocketReceiver->asynchronousBreak();
    mThreadEnded.wait_for(lock, std::chrono::milliseconds(2));
  }
  lock.unlock();
  mThread.join();
  mBackground = false;
}

void Recv::processPacket(const char* data, std::size_t size, std::string_view senderAddress) {
  try {
    mReader.read(data, size, senderAddress);
  } catch (const std::exception& e) {
    VL_OSC_REPORT(e);
    return;
  }
  // Handlers are taken one at a time in registration order, each looked up afresh, so that
  // handlers added or removed meanwhile (also by a handler) are seen without copying the list.
  std::unique_lock<std::mutex> lock(mHandlersLock);
  uint64_t after = 0;
  for (;;) {
    auto next = std::find_if(mHandlers.begin(), mHandlers.end(),
                             [&](const Entry& e) { return e.order > after; });
    if (next == mHandlers.end()) break;
    after = next->order;
    mCalling = next->handler;
    mCallingThread = std::this_thread::get_id();
    lock.unlock();
    dispatch(*mCalling);
    lock.lock();
    mCalling = nullptr;
    mHandlerReturned.notify_all();
  }
}

void Recv::dispatch(PacketHandler& h) {
  mCallingRemoved = false;
  for (std::size_t i = 0; i < mReader.size() && !mCallingRemoved; ++i) {
    Message& m = mReader[i];
    m.resetStream();
    try {
      h.onMessage(m);
    } catch (const std::exception& e) {
      // A failing handler must not end the receive loop or starve the other handlers.
      VL_OSC_REPORT(e);
    }
  }
}

}  // namespace vl::osc
