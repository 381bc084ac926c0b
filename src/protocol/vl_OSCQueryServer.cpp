#include "protocol/vl_OSCQueryServer.hpp"

#include <atomic>
#include <deque>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

// Asio of Boost 1.74 uses std::exchange without including <utility>: it comes after it.
#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include "core/vl_Console.hpp"
#include "protocol/vl_OSCQueryAnnouncer.hpp"
#include "protocol/vl_OSCQueryTree.hpp"
#include "protocol/vl_ParameterAddressTable.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using json = nlohmann::json;

namespace {

constexpr auto kStatePeriod = std::chrono::milliseconds(100);
// A client that reads slower than changes arrive loses the newest ones, not the server memory.
constexpr std::size_t kMaxQueuedFrames = 4096;

// The WebSocket session whose packet this thread is dispatching: its own changes are not sent
// back to it, as the parameter server sends none back to a sender over OSC.
thread_local const void* tOrigin = nullptr;

std::string percentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const std::string hex = s.substr(i + 1, 2);
      char* end = nullptr;
      const long c = std::strtol(hex.c_str(), &end, 16);
      if (end == hex.c_str() + 2) {
        out += static_cast<char>(c);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// The value of name=value in a query such as "token=abc&x=1".
std::string queryValue(const std::string& query, const std::string& name) {
  std::istringstream in(query);
  std::string pair;
  while (std::getline(in, pair, '&')) {
    const std::size_t eq = pair.find('=');
    if (pair.substr(0, eq) == name && eq != std::string::npos) {
      return percentDecode(pair.substr(eq + 1));
    }
  }
  return "";
}

const char* contentType(const std::string& path) {
  auto ends = [&](const char* ext) {
    const std::string e(ext);
    return path.size() >= e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".svg")) return "image/svg+xml";
  if (ends(".png")) return "image/png";
  return "application/octet-stream";
}

template <class T>
void addValue(osc::Packet& p, const T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    p.add(1.0f);
  } else if constexpr (std::is_same_v<T, uint16_t>) {
    p.add(int32_t(v));
  } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, int32_t> ||
                       std::is_same_v<T, std::string>) {
    p.add(v);
  } else if constexpr (std::is_same_v<T, Color>) {
    p.add(v.r).add(v.g).add(v.b).add(v.a);
  } else if constexpr (std::is_same_v<T, Pose>) {
    const Vec3d& x = v.pos();
    const Quatd& q = v.quat();
    for (double d : {x[0], x[1], x[2], q.w, q.x, q.y, q.z}) p.add(static_cast<float>(d));
  } else {
    for (std::size_t k = 0; k < v.size(); ++k) p.add(v[k]);
  }
}

// Callbacks left on parameters reach the server through this, cut when the server goes.
struct Hub {
  std::mutex lock;
  OSCQueryServer::Impl* impl = nullptr;
};

}  // namespace

class OSCQueryServer::Impl {
 public:
  class WsSession;
  class HttpSession;

  explicit Impl(ParameterServer& server) : mServer(server), mHub(std::make_shared<Hub>()) {
    mHub->impl = this;
  }
  ~Impl() {
    {
      std::lock_guard<std::mutex> lock(mHub->lock);
      mHub->impl = nullptr;
    }
    stop();
  }

  bool start(const Settings& s);
  void stop();
  bool isRunning() const { return mRunning.load(); }
  uint16_t port() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mPort;
  }
  std::string address() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mAddress;
  }
  void addStateProvider(const std::string& name, std::function<std::string()> provider) {
    std::lock_guard<std::mutex> lock(mProviderLock);
    mProviders.emplace_back(name, std::move(provider));
  }
  std::string state();

  // From any thread, inside a parameter's change callback.
  void onChange(const std::string& address, std::shared_ptr<const std::string> packet,
                const void* origin);

  // The server's thread only.
  http::response<http::string_body> respond(const http::request<http::string_body>& req);
  void dispatch(const char* data, std::size_t size, const std::string& sender, const void* origin);
  void hookParameters();
  void addSession(const std::shared_ptr<WsSession>& s) { mSessions.push_back(s); }
  bool mayWrite(const std::string& target) const;

 private:
  bool listen(const Settings& s);
  void accept();
  void tick();
  template <class T>
  void hook(ParameterWrapper<T>& p);

  ParameterServer& mServer;
  std::shared_ptr<Hub> mHub;
  mutable std::mutex mLock;  // the settings and the context, against changes from callbacks
  Settings mSettings;
  std::string mAddress;
  uint16_t mPort = 0;
  std::atomic<bool> mRunning{false};
  std::unique_ptr<net::io_context> mContext;
  std::unique_ptr<tcp::acceptor> mAcceptor;
  std::unique_ptr<net::steady_timer> mTimer;
  std::thread mThread;
  std::vector<std::weak_ptr<WsSession>> mSessions;  // the server's thread only
  std::mutex mHookLock;
  std::set<ParameterMeta*> mHooked;
  std::mutex mProviderLock;
  std::vector<std::pair<std::string, std::function<std::string()>>> mProviders;
  OSCQueryAnnouncer mAnnouncer;
};

// ---------------------------------------------------------------------------------------------
// WebSocket: LISTEN/IGNORE in text frames, OSC packets in binary frames both ways.

class OSCQueryServer::Impl::WsSession : public std::enable_shared_from_this<WsSession> {
 public:
  WsSession(Impl& impl, tcp::socket socket, bool writable)
      : mImpl(impl), mWs(std::move(socket)), mWritable(writable) {
    beast::error_code ec;
    const auto remote = mWs.next_layer().socket().remote_endpoint(ec);
    if (!ec) mRemote = remote.address().to_string() + ":" + std::to_string(remote.port());
  }

  void run(http::request<http::string_body> req) {
    mWs.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    mWs.async_accept(req, [self = shared_from_this()](beast::error_code ec) {
      if (!ec) self->read();
    });
  }

  bool listens(const std::string& address) const { return mListened.count(address) != 0; }
  bool watchesState() const { return mWatchState; }

  void send(std::shared_ptr<const std::string> frame, bool binary) {
    if (mQueue.size() >= kMaxQueuedFrames) return;
    mQueue.emplace_back(std::move(frame), binary);
    if (mQueue.size() == 1) writeNext();
  }

 private:
  void read() {
    mWs.async_read(mBuffer, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return;
      self->onFrame();
      self->read();
    });
  }

  void onFrame() {
    const std::string data = beast::buffers_to_string(mBuffer.data());
    mBuffer.consume(mBuffer.size());
    if (mWs.got_binary()) {
      if (!mWritable) {
        send(std::make_shared<std::string>(R"({"ERROR":"a token is needed to set values"})"),
             false);
        return;
      }
      mImpl.dispatch(data.data(), data.size(), mRemote, this);
      return;
    }
    json command = json::parse(data, nullptr, false);
    if (!command.is_object() || !command["COMMAND"].is_string()) return;
    const std::string name = command["COMMAND"];
    const json& arg = command["DATA"];
    if (name == "LISTEN" && arg.is_string()) {
      mImpl.hookParameters();
      mListened.insert(arg.get<std::string>());
    } else if (name == "IGNORE" && arg.is_string()) {
      mListened.erase(arg.get<std::string>());
    } else if (name == "STATE") {
      mWatchState = !arg.is_boolean() || arg.get<bool>();
    }
  }

  void writeNext() {
    mWs.binary(mQueue.front().second);
    mWs.async_write(net::buffer(*mQueue.front().first),
                    [self = shared_from_this()](beast::error_code ec, std::size_t) {
                      if (ec) {
                        self->mQueue.clear();
                        return;
                      }
                      self->mQueue.pop_front();
                      if (!self->mQueue.empty()) self->writeNext();
                    });
  }

  Impl& mImpl;
  websocket::stream<beast::tcp_stream> mWs;
  beast::flat_buffer mBuffer;
  std::deque<std::pair<std::shared_ptr<const std::string>, bool>> mQueue;
  std::set<std::string> mListened;
  std::string mRemote;
  bool mWritable;
  bool mWatchState = false;
};

// ---------------------------------------------------------------------------------------------
// HTTP: the tree, the state record and the page; an upgrade hands the socket to a WsSession.

class OSCQueryServer::Impl::HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(Impl& impl, tcp::socket socket) : mImpl(impl), mStream(std::move(socket)) {}

  void read() {
    mRequest = {};
    mStream.expires_after(std::chrono::seconds(30));
    http::async_read(mStream, mBuffer, mRequest,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return;
                       self->onRequest();
                     });
  }

 private:
  void onRequest() {
    if (websocket::is_upgrade(mRequest)) {
      mStream.expires_never();
      const bool writable = mImpl.mayWrite(std::string(mRequest.target()));
      auto ws = std::make_shared<WsSession>(mImpl, mStream.release_socket(), writable);
      mImpl.addSession(ws);
      ws->run(std::move(mRequest));
      return;
    }
    auto response = std::make_shared<http::response<http::string_body>>(mImpl.respond(mRequest));
    response->keep_alive(mRequest.keep_alive());
    response->prepare_payload();
    http::async_write(mStream, *response,
                      [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                        if (ec) return;
                        if (!response->keep_alive()) {
                          beast::error_code ignored;
                          self->mStream.socket().shutdown(tcp::socket::shutdown_send, ignored);
                          return;
                        }
                        self->read();
                      });
  }

  Impl& mImpl;
  beast::tcp_stream mStream;
  beast::flat_buffer mBuffer;
  http::request<http::string_body> mRequest;
};

// ---------------------------------------------------------------------------------------------

bool OSCQueryServer::Impl::start(const Settings& s) {
  if (!listen(s)) return false;
  // Outside the lock: Avahi's client takes locks of its own, and its thread calls back.
  if (s.announce) mAnnouncer.start(s.name, port());
  return true;
}

bool OSCQueryServer::Impl::listen(const Settings& s) {
  std::lock_guard<std::mutex> lock(mLock);
  if (mRunning) return true;
  mSettings = s;
  std::string address = s.address.empty() ? mServer.serverAddress() : s.address;
  // The parameter server's empty address is the loopback interface.
  if (address.empty() || address == "localhost") address = "127.0.0.1";
  uint16_t port = s.port;
  if (port == 0 && mServer.serverPort() != 0) port = mServer.serverPort() + kPortOffset;
  auto context = std::make_unique<net::io_context>(1);
  auto acceptor = std::make_unique<tcp::acceptor>(*context);
  beast::error_code ec;
  const net::ip::address ip = net::ip::make_address(address, ec);
  if (!ec) {
    const tcp::endpoint endpoint(ip, port);
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) acceptor->set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor->bind(endpoint, ec);
    if (!ec) acceptor->listen(net::socket_base::max_listen_connections, ec);
  }
  if (ec) {
    printError("ERROR: OSCQuery server cannot listen on %s:%d: %s\n", address.c_str(), port,
               ec.message().c_str());
    return false;
  }
  mAddress = address;
  mPort = acceptor->local_endpoint().port();
  mContext = std::move(context);
  mAcceptor = std::move(acceptor);
  mTimer = std::make_unique<net::steady_timer>(*mContext);
  mRunning = true;
  accept();
  tick();
  mThread = std::thread([this] { mContext->run(); });
  print("OSCQuery server on http://%s:%d/ (control page at /_page/)\n", mAddress.c_str(), mPort);
  return true;
}

void OSCQueryServer::Impl::stop() {
  mAnnouncer.stop();
  std::unique_ptr<net::io_context> context;
  {
    std::lock_guard<std::mutex> lock(mLock);
    if (!mRunning) return;
    mRunning = false;
    mContext->stop();
  }
  if (mThread.joinable()) mThread.join();
  std::lock_guard<std::mutex> lock(mLock);
  mAcceptor.reset();
  mTimer.reset();
  mSessions.clear();
  // Destroying the context destroys the sessions' pending handlers, and with them the sessions.
  context = std::move(mContext);
  context.reset();
}

void OSCQueryServer::Impl::accept() {
  mAcceptor->async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec) return;
    std::make_shared<HttpSession>(*this, std::move(socket))->read();
    accept();
  });
}

void OSCQueryServer::Impl::tick() {
  mTimer->expires_after(kStatePeriod);
  mTimer->async_wait([this](beast::error_code ec) {
    if (ec) return;
    std::erase_if(mSessions, [](const auto& w) { return w.expired(); });
    std::shared_ptr<const std::string> frame;
    for (auto& w : mSessions) {
      auto s = w.lock();
      if (!s || !s->watchesState()) continue;
      if (!frame) frame = std::make_shared<const std::string>("{\"STATE\":" + state() + "}");
      s->send(frame, false);
    }
    tick();
  });
}

bool OSCQueryServer::Impl::mayWrite(const std::string& target) const {
  std::lock_guard<std::mutex> lock(mLock);
  if (mSettings.token.empty()) return true;
  const std::size_t q = target.find('?');
  if (q == std::string::npos) return false;
  return queryValue(target.substr(q + 1), "token") == mSettings.token;
}

std::string OSCQueryServer::Impl::state() {
  std::lock_guard<std::mutex> lock(mProviderLock);
  std::string out = "{";
  for (auto& [name, provider] : mProviders) {
    if (out.size() > 1) out += ",";
    out += json(name).dump() + ":" + provider();
  }
  return out + "}";
}

void OSCQueryServer::Impl::dispatch(const char* data, std::size_t size, const std::string& sender,
                                    const void* origin) {
  try {
    for (auto& m : osc::parsePacket(data, size, sender)) {
      tOrigin = origin;
      mServer.onMessage(*m);
      tOrigin = nullptr;
    }
  } catch (const std::exception& e) {
    tOrigin = nullptr;
    printError("ERROR: OSCQuery client sent a packet that is not OSC: %s\n", e.what());
  }
}

void OSCQueryServer::Impl::onChange(const std::string& address,
                                    std::shared_ptr<const std::string> packet, const void* origin) {
  std::lock_guard<std::mutex> lock(mLock);
  if (!mRunning) return;
  net::post(*mContext, [this, address, packet = std::move(packet), origin] {
    for (auto& w : mSessions) {
      auto s = w.lock();
      if (s && s.get() != origin && s->listens(address)) s->send(packet, true);
    }
  });
}

template <class T>
void OSCQueryServer::Impl::hook(ParameterWrapper<T>& p) {
  std::shared_ptr<Hub> hub = mHub;
  const std::string address = p.getFullAddress();
  p.registerChangeCallback([hub, address](T value, ValueSource*) {
    if constexpr (std::is_same_v<T, bool>) {
      if (!value) return;
    }
    const void* origin = tOrigin;
    std::lock_guard<std::mutex> lock(hub->lock);
    if (!hub->impl || !hub->impl->isRunning()) return;
    osc::Packet packet(1024);
    packet.beginMessage(address);
    addValue(packet, value);
    packet.endMessage();
    if (!packet.ready()) return;
    hub->impl->onChange(address, std::make_shared<const std::string>(packet.data(), packet.size()),
                        origin);
  });
}

void OSCQueryServer::Impl::hookParameters() {
  using Kind = ParameterAddressTable::Kind;
  std::lock_guard<std::mutex> lock(mHookLock);
  for (ParameterMeta* p : mServer.parameters()) {
    if (!mHooked.insert(p).second) continue;
    switch (ParameterAddressTable::kindOf(*p)) {
      case Kind::FLOAT:
        hook(static_cast<Parameter&>(*p));
        break;
      case Kind::INT:
        hook(static_cast<ParameterInt&>(*p));
        break;
      case Kind::MENU:
        hook(static_cast<ParameterMenu&>(*p));
        break;
      case Kind::CHOICE:
        hook(static_cast<ParameterChoice&>(*p));
        break;
      case Kind::STRING:
        hook(static_cast<ParameterString&>(*p));
        break;
      case Kind::VEC3:
        hook(static_cast<ParameterVec3&>(*p));
        break;
      case Kind::VEC4:
        hook(static_cast<ParameterVec4&>(*p));
        break;
      case Kind::COLOR:
        hook(static_cast<ParameterColor&>(*p));
        break;
      case Kind::POSE:
        hook(static_cast<ParameterPose&>(*p));
        break;
      case Kind::TRIGGER:
        hook(static_cast<Trigger&>(*p));
        break;
      default:
        break;
    }
  }
}

http::response<http::string_body> OSCQueryServer::Impl::respond(
    const http::request<http::string_body>& req) {
  http::response<http::string_body> res{http::status::ok, req.version()};
  res.set(http::field::server, "ZENTHA");
  res.set(http::field::access_control_allow_origin, "*");
  res.set(http::field::content_type, "application/json");
  auto fail = [&](http::status status) {
    res.result(status);
    res.body().clear();
    return res;
  };
  if (req.method() != http::verb::get && req.method() != http::verb::head) {
    return fail(http::status::method_not_allowed);
  }
  const std::string target(req.target());
  const std::size_t q = target.find('?');
  const std::string path = percentDecode(target.substr(0, q));
  const std::string query = q == std::string::npos ? "" : target.substr(q + 1);

  if (path == "/_state") {
    res.body() = state();
    return res;
  }
  if (path == "/_page" || path.rfind("/_page/", 0) == 0) {
    std::string root;
    {
      std::lock_guard<std::mutex> lock(mLock);
      root = mSettings.pageRoot;
    }
    std::string file = path.size() <= 7 ? "index.html" : path.substr(7);
    if (root.empty() || file.find("..") != std::string::npos) return fail(http::status::not_found);
    std::ifstream in(root + "/" + file, std::ios::binary);
    if (!in) return fail(http::status::not_found);
    std::ostringstream body;
    body << in.rdbuf();
    res.set(http::field::content_type, contentType(file));
    res.set(http::field::cache_control, "no-cache");
    res.body() = body.str();
    return res;
  }

  if (query == "HOST_INFO") {
    std::string name, address;
    {
      std::lock_guard<std::mutex> lock(mLock);
      name = mSettings.name;
      address = mAddress;
    }
    json info = {{"NAME", name},
                 {"OSC_PORT", mServer.serverPort()},
                 {"OSC_TRANSPORT", "UDP"},
                 {"EXTENSIONS",
                  {{"ACCESS", true},
                   {"VALUE", true},
                   {"RANGE", true},
                   {"DESCRIPTION", true},
                   {"TAGS", false},
                   {"EXTENDED_TYPE", false},
                   {"UNIT", false},
                   {"CRITICAL", false},
                   {"CLIPMODE", false},
                   {"LISTEN", true},
                   {"PATH_CHANGED", false},
                   {"PATH_RENAMED", false},
                   {"PATH_ADDED", false},
                   {"PATH_REMOVED", false}}}};
    if (address != "0.0.0.0") info["OSC_IP"] = address;
    res.body() = info.dump();
    return res;
  }
  hookParameters();
  const json tree = oscquery::tree(mServer.parameters());
  const json* node = oscquery::find(tree, path);
  if (!node) return fail(http::status::not_found);
  if (query.empty()) {
    res.body() = node->dump();
    return res;
  }
  auto attribute = node->find(query);
  if (attribute == node->end()) return fail(http::status::no_content);
  res.body() = json{{query, *attribute}}.dump();
  return res;
}

// ---------------------------------------------------------------------------------------------

OSCQueryServer::OSCQueryServer(ParameterServer& server) : mImpl(std::make_shared<Impl>(server)) {}
OSCQueryServer::~OSCQueryServer() = default;
bool OSCQueryServer::start(const Settings& settings) {
  if (!mImpl->start(settings)) return false;
  mImpl->hookParameters();
  return true;
}
void OSCQueryServer::stop() {
  mImpl->stop();
}
bool OSCQueryServer::isRunning() const {
  return mImpl->isRunning();
}
uint16_t OSCQueryServer::port() const {
  return mImpl->port();
}
std::string OSCQueryServer::address() const {
  return mImpl->address();
}
void OSCQueryServer::addStateProvider(const std::string& name,
                                      std::function<std::string()> provider) {
  mImpl->addStateProvider(name, std::move(provider));
}
std::string OSCQueryServer::state() {
  return mImpl->state();
}

}  // namespace vl
