#pragma once
// The Windows Runtime objects as the stand-ins for Windows' media sessions serve them: the
// simulated Win32's combase and the Wine lab's stand-in session manager. Reference counting,
// QueryInterface, and asynchronous operations whose status their owner decides.
#include "player/sessions/api.h"

#include <atomic>
#include <memory>
#include <type_traits>

namespace winrt {

using namespace sessionapi;

inline constexpr GUID iidUnknown{0x00000000, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID iidInspectable{
    0xaf86e2e0, 0xb12d, 0x4c6a, {0x9c, 0x5a, 0xd7, 0xaa, 0x65, 0x10, 0x1e, 0x90}};
inline constexpr std::int32_t asyncCanceled = 2;
inline constexpr std::int32_t asyncError = 3;
inline constexpr HRESULT illegalMethodCall = static_cast<HRESULT>(0x8000000E);

// The objects alive, for the check that each was released.
inline std::atomic<long> &liveObjects() {
  static std::atomic<long> live{0};
  return live;
}

template <class Interface> class Unknown : public Interface {
public:
  Unknown() { ++liveObjects(); }
  Unknown(const Unknown &) = delete;
  Unknown &operator=(const Unknown &) = delete;
  virtual ~Unknown() { --liveObjects(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!(iid == iidUnknown || iid == iidInspectable || iid == ownIid()))
      return otherInterface(iid, out);
    AddRef();
    *out = static_cast<Interface *>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (!left) delete this;
    return left;
  }

protected:
  // The interface's own IID, which QueryInterface answers besides IUnknown and IInspectable.
  virtual GUID ownIid() const { return iidUnknown; }
  virtual HRESULT otherInterface(REFIID, void **) { return E_NOINTERFACE; }

private:
  std::atomic<ULONG> references_{1};
};

// The runtime's objects; the shell's are IUnknown's alone.
template <class Interface> class Inspectable : public Unknown<Interface> {
public:
  HRESULT STDMETHODCALLTYPE GetIids(ULONG *, IID **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel *) override { return E_NOTIMPL; }
};

template <class Value> HRESULT answer(Value value, Value *out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

// Hands out a new object, its one reference the caller's.
template <class Object, class Interface, class... Args>
HRESULT handOut(Interface **out, Args &&...args) {
  if (!out) return E_POINTER;
  *out = new Object(std::forward<Args>(args)...);
  return S_OK;
}

// How an operation goes, shared by it and its IAsyncInfo.
struct Progress {
  virtual ~Progress() = default;
  virtual std::int32_t status() const = 0;
  virtual void cancel() = 0;
};

class Info final : public Inspectable<AsyncInfo> {
  std::shared_ptr<Progress> progress_;

public:
  explicit Info(std::shared_ptr<Progress> progress) : progress_(std::move(progress)) {}
  HRESULT STDMETHODCALLTYPE get_Id(UINT32 *id) override { return answer<UINT32>(1, id); }
  HRESULT STDMETHODCALLTYPE get_Status(std::int32_t *status) override {
    return answer(progress_->status(), status);
  }
  HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT *code) override {
    return answer(progress_->status() == asyncError ? E_FAIL : S_OK, code);
  }
  HRESULT STDMETHODCALLTYPE Cancel() override {
    progress_->cancel();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }
};

// An operation that holds its result from the start and gives it once completed; an object
// result is released with the operation.
template <class Result> class Operation final : public Inspectable<AsyncOperation<Result>> {
  std::shared_ptr<Progress> progress_;
  Result result_;

protected:
  HRESULT otherInterface(REFIID iid, void **out) override {
    if (!(iid == iidAsyncInfo)) return E_NOINTERFACE;
    *out = static_cast<AsyncInfo *>(new Info(progress_));
    return S_OK;
  }

public:
  Operation(std::shared_ptr<Progress> progress, Result result)
      : progress_(std::move(progress)), result_(result) {}
  ~Operation() override {
    if constexpr (std::is_pointer_v<Result>)
      if (result_) result_->Release();
  }
  HRESULT STDMETHODCALLTYPE put_Completed(IUnknown *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Completed(IUnknown **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetResults(Result *result) override {
    if (!result) return E_POINTER;
    if (progress_->status() != asyncCompleted) return illegalMethodCall;
    if constexpr (std::is_pointer_v<Result>)
      if (result_) result_->AddRef();
    *result = result_;
    return S_OK;
  }
};

// Every control enabled, moving in the track as given.
class Controls final : public Inspectable<PlaybackControls> {
  Boolean position_;
  static HRESULT yes(Boolean *v) { return answer<Boolean>(1, v); }

public:
  explicit Controls(Boolean positionEnabled) : position_(positionEnabled) {}
  HRESULT STDMETHODCALLTYPE get_IsPlayEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPauseEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsStopEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsRecordEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsFastForwardEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsRewindEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsNextEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPreviousEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsChannelUpEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsChannelDownEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlayPauseToggleEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsShuffleEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsRepeatEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlaybackRateEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlaybackPositionEnabled(Boolean *v) override {
    return answer(position_, v);
  }
};

} // namespace winrt
