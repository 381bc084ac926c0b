#pragma once

// Named, OSC-addressed values: the untyped base ParameterMeta and the typed ParameterWrapper<T>
// that holds a value, its default and range, and two lists of change callbacks.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "protocol/vl_OSCPacket.hpp"
#include "ui/vl_ParameterField.hpp"

namespace vl {

// Where a change came from: the sender's address and port. A null source is a local change.
struct ValueSource {
  std::string ipAddr;
  uint16_t port = 0;
};

class ParameterMeta {
 public:
  // Builds the address "/prefix/group/name" from the first match of the address pattern in
  // each text; parts that do not match are left out (an unusable name becomes "_").
  ParameterMeta(std::string parameterName, std::string group = "", std::string prefix = "");
  virtual ~ParameterMeta() = default;
  ParameterMeta(const ParameterMeta&) = delete;
  ParameterMeta& operator=(const ParameterMeta&) = delete;

  virtual float asFloat() { return 0.0f; }
  virtual void setFromFloat(float) {}
  // Appends the value as fields.
  virtual void get(std::vector<ParameterField>& fields);
  // Sets the value from exactly as many fields as the kind has.
  virtual void set(const std::vector<ParameterField>& fields);
  virtual void sendValue(osc::Send& sender, std::string prefix = "");
  virtual void sendMeta(osc::Send& sender, std::string bundleName = "", std::string id = "");

  const std::string& getFullAddress() const { return mFullAddress; }
  const std::string& getName() const { return mParameterName; }
  const std::string& displayName() const { return mDisplayName; }
  void displayName(std::string name) { mDisplayName = std::move(name); }
  const std::string& getGroup() const { return mGroup; }
  const std::string& getPrefix() const { return mPrefix; }

  // Free-form descriptive entries (units, hints) that travel with the parameter.
  std::map<std::string, ParameterField>& metadata() { return mMetadata; }

 protected:
  // Demangled dynamic class name, for the "not implemented" messages.
  std::string className() const;
  // Prints the wrong-field-count message and returns false unless fields.size() == expected.
  bool checkFieldCount(const std::vector<ParameterField>& fields, std::size_t expected) const;

  std::string mFullAddress;
  std::string mParameterName;
  std::string mDisplayName;
  std::string mGroup;
  std::string mPrefix;
  std::map<std::string, ParameterField> mMetadata;
};

namespace detail {

// Value kinds that fit a lock-free atomic (float, int, bool, 16-bit): reads are one load.
template <class T, bool = std::is_trivially_copyable_v<T> && sizeof(T) <= 8>
struct FitsAtomic : std::false_type {};
template <class T>
struct FitsAtomic<T, true> : std::bool_constant<std::atomic<T>::is_always_lock_free> {};
template <class T>
inline constexpr bool kAtomicValue = FitsAtomic<T>::value;

template <class T>
class AtomicValue {
 public:
  explicit AtomicValue(const T& v) : mValue(v) {}
  T load() const { return mValue.load(std::memory_order_acquire); }
  void store(const T& v) { mValue.store(v, std::memory_order_release); }

 private:
  std::atomic<T> mValue;
};

// Left-right store for larger values (poses, vectors, texts): two instances and two reader
// counters. Readers are wait-free (two counter updates and one copy, never a lock); the single
// writer fills the instance nobody reads, flips readers over, and waits for readers of the old
// instance to leave before refreshing it. Unlike a seqlock, a reader never sees a torn value
// and never retries, and it works for values that own memory such as texts.
template <class T>
class LeftRightValue {
 public:
  explicit LeftRightValue(const T& v) : mInstances{v, v} {}

  T load() const {
    const int version = mVersionIndex.load();
    mReaders[version].fetch_add(1);
    T copy = mInstances[mLeftRight.load()];
    mReaders[version].fetch_sub(1);
    return copy;
  }

  // Callers serialise stores.
  void store(const T& v) {
    const int current = mLeftRight.load();
    mInstances[1 - current] = v;
    mLeftRight.store(1 - current);
    const int version = mVersionIndex.load();
    waitForReaders(1 - version);
    mVersionIndex.store(1 - version);
    waitForReaders(version);
    mInstances[current] = v;
  }

 private:
  void waitForReaders(int version) const {
    while (mReaders[version].load() != 0) std::this_thread::yield();
  }

  std::array<T, 2> mInstances;
  mutable std::array<std::atomic<int>, 2> mReaders{};
  std::atomic<int> mLeftRight{0};
  std::atomic<int> mVersionIndex{0};
};

template <class T>
using ValueStore = std::conditional_t<kAtomicValue<T>, AtomicValue<T>, LeftRightValue<T>>;

}  // namespace detail

// A typed parameter value. Writers are serialised by the value mutex; readers never touch it,
// so get() returns at once on any thread (the audio thread included) even while a writer or
// another thread holds the lock. Reads of float, int and bool kinds are a single atomic load.
template <class ParameterType>
class ParameterWrapper : public ParameterMeta {
 public:
  using Callback = std::function<void(ParameterType)>;
  using SourceCallback = std::function<void(ParameterType, ValueSource*)>;

  ParameterWrapper(std::string parameterName, std::string group, ParameterType defaultValue,
                   std::string prefix = "")
      : ParameterMeta(std::move(parameterName), std::move(group), std::move(prefix)),
        mMin(defaultValue),
        mMax(defaultValue),
        mDefault(defaultValue),
        mValue(defaultValue) {}

  using ParameterMeta::get;
  using ParameterMeta::set;

  // Runs the callbacks with the new value, then stores it, all under the writer lock: sets
  // from several threads are announced in the order they are stored, so the stored value is
  // always the one announced last.
  virtual void set(ParameterType value, ValueSource* source = nullptr) {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    value = process(value);
    runCallbacks(value, source, true, true);
    store(value);
  }
  virtual void reset() { set(mDefault, nullptr); }
  // Stores without announcing the change: only when a receiver is given does the first
  // callback list run.
  virtual void setQuiet(ParameterType value, void* receiver = nullptr) {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    value = process(value);
    if (receiver) runCallbacks(value, nullptr, true, false);
    store(value);
  }
  virtual ParameterType get() { return mValue.load(); }

  // Callbacks run in registration order on the setting thread, holding only this parameter's
  // writer lock (readers never wait for it; a callback may set this parameter again).
  void registerChangeCallback(Callback cb) {
    std::lock_guard<std::mutex> lock(mCallbackLock);
    mCallbacks.push_back(std::make_shared<Callback>(std::move(cb)));
  }
  void registerChangeCallback(SourceCallback cb) {
    std::lock_guard<std::mutex> lock(mCallbackLock);
    mSourceCallbacks.push_back(std::make_shared<SourceCallback>(std::move(cb)));
  }

  // Applied to every value before callbacks and storage. Install before the parameter is used.
  void setProcessingCallback(std::function<ParameterType(ParameterType)> f) {
    mProcessCallback = std::make_shared<std::function<ParameterType(ParameterType)>>(std::move(f));
  }

  // The source of the change whose callbacks are running, for callbacks of the first list
  // (which take the value alone); null for a local change. Meaningful inside a callback only.
  ValueSource* changeSource() const { return mChangeSource.load(); }

  // Holding the value lock delays writers only; readers carry on.
  void lock() { mMutex.lock(); }
  void unlock() { mMutex.unlock(); }

  ParameterType min() const { return mMin; }
  ParameterType max() const { return mMax; }
  void min(ParameterType v) { mMin = v; }
  void max(ParameterType v) { mMax = v; }
  ParameterType getDefault() const { return mDefault; }
  void setDefault(ParameterType v) { mDefault = v; }
  // Set when an empty entry stopped a callback run.
  bool emptyCallbackMet() const { return mEmptyCallbackMet.load(); }

 protected:
  ParameterType process(ParameterType value) {
    if (mProcessCallback && *mProcessCallback) return (*mProcessCallback)(value);
    return value;
  }

  void store(const ParameterType& value) {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    mValue.store(value);
  }

  // Sets changeSource() for the run and restores it after, for a set made by a callback.
  struct SourceScope {
    SourceScope(std::atomic<ValueSource*>& slot, ValueSource* source)
        : mSlot(slot), mPrevious(slot.exchange(source)) {}
    ~SourceScope() { mSlot.store(mPrevious); }
    std::atomic<ValueSource*>& mSlot;
    ValueSource* mPrevious;
  };

  // The lists may grow while they run (a callback may register another): entries are taken
  // one at a time under the list lock and called without it.
  void runCallbacks(const ParameterType& value, ValueSource* source, bool first, bool second) {
    SourceScope scope(mChangeSource, source);
    if (first) {
      for (std::size_t i = 0;; ++i) {
        std::shared_ptr<Callback> cb;
        {
          std::lock_guard<std::mutex> lock(mCallbackLock);
          if (i >= mCallbacks.size()) break;
          cb = mCallbacks[i];
        }
        if (!cb || !*cb) {
          mEmptyCallbackMet = true;
          return;
        }
        (*cb)(value);
      }
    }
    if (second) {
      for (std::size_t i = 0;; ++i) {
        std::shared_ptr<SourceCallback> cb;
        {
          std::lock_guard<std::mutex> lock(mCallbackLock);
          if (i >= mSourceCallbacks.size()) break;
          cb = mSourceCallbacks[i];
        }
        if (cb && *cb) (*cb)(value, source);
      }
    }
  }

  ParameterType mMin;
  ParameterType mMax;
  ParameterType mDefault;
  std::shared_ptr<std::function<ParameterType(ParameterType)>> mProcessCallback;
  std::recursive_mutex mMutex;  // the writer lock: serialises set and setQuiet with their callbacks
  std::atomic<ValueSource*> mChangeSource{nullptr};
  detail::ValueStore<ParameterType> mValue;
  std::atomic<bool> mEmptyCallbackMet{false};
  std::mutex mCallbackLock;
  std::vector<std::shared_ptr<Callback>> mCallbacks;
  std::vector<std::shared_ptr<SourceCallback>> mSourceCallbacks;
};

}  // namespace vl
