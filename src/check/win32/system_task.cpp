// The pack as SYSTEM in session 0, started by the Task Scheduler as deployment
// agents start it: a task of its own, run once on demand, waited for and deleted.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <taskschd.h>
// clang-format on

#include "check/win32/win32_machine.h"
#include "messages/format.h"

namespace sp::check {
namespace {

constexpr DWORD kPollMilliseconds = 500;

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (pointer_ != nullptr) {
      pointer_->Release();
    }
  }
  T** out() { return &pointer_; }
  T* operator->() const { return pointer_; }
  T* get() const { return pointer_; }

 private:
  T* pointer_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const std::u16string& text) : text_(::SysAllocString(W(text))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(text_); }
  operator BSTR() const { return text_; }  // NOLINT: passed where COM takes a BSTR

 private:
  BSTR text_;
};

class ComApartment {
 public:
  ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) {
      ::CoUninitialize();
    }
  }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

VARIANT Empty() {
  VARIANT empty;
  ::VariantInit(&empty);
  return empty;
}

PackRun Failed(HRESULT result) {
  PackRun run;
  run.end = PackRun::End::kNotStarted;
  run.failure = Failure(static_cast<std::uint32_t>(result));
  return run;
}

// Deletes the task when the run is over, whatever its end.
class RegisteredTask {
 public:
  RegisteredTask(ITaskFolder* folder, const std::u16string& name) : folder_(folder), name_(name) {}
  RegisteredTask(const RegisteredTask&) = delete;
  RegisteredTask& operator=(const RegisteredTask&) = delete;
  ~RegisteredTask() {
    if (task_.get() != nullptr) {
      task_->Stop(0);
      folder_->DeleteTask(Bstr(name_), 0);
    }
  }
  IRegisteredTask** out() { return task_.out(); }
  IRegisteredTask* operator->() const { return task_.get(); }

 private:
  ITaskFolder* folder_;
  std::u16string name_;
  ComPtr<IRegisteredTask> task_;
};

}  // namespace

PackRun RunPackAsSystem(const std::u16string& pack, const std::u16string& arguments,
                        std::uint32_t timeoutSeconds) {
  const ComApartment apartment;
  if (FAILED(apartment.result())) {
    return Failed(apartment.result());
  }
  ComPtr<ITaskService> service;
  HRESULT result = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ITaskService, reinterpret_cast<void**>(service.out()));
  if (FAILED(result) || FAILED(result = service->Connect(Empty(), Empty(), Empty(), Empty()))) {
    return Failed(result);
  }
  ComPtr<ITaskFolder> root;
  if (FAILED(result = service->GetFolder(Bstr(u"\\"), root.out()))) {
    return Failed(result);
  }
  ComPtr<ITaskDefinition> definition;
  if (FAILED(result = service->NewTask(0, definition.out()))) {
    return Failed(result);
  }
  ComPtr<ITaskSettings> settings;
  if (SUCCEEDED(result = definition->get_Settings(settings.out()))) {
    settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE);
    settings->put_StopIfGoingOnBatteries(VARIANT_FALSE);
    settings->put_ExecutionTimeLimit(Bstr(u"PT" + DecimalText(timeoutSeconds) + u"S"));
  }
  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec;
  if (FAILED(result) || FAILED(result = definition->get_Actions(actions.out())) ||
      FAILED(result = actions->Create(TASK_ACTION_EXEC, action.out())) ||
      FAILED(result =
                 action->QueryInterface(IID_IExecAction, reinterpret_cast<void**>(exec.out()))) ||
      FAILED(result = exec->put_Path(Bstr(pack))) ||
      FAILED(result = exec->put_Arguments(Bstr(arguments)))) {
    return Failed(result);
  }
  ComPtr<IPrincipal> principal;
  if (FAILED(result = definition->get_Principal(principal.out())) ||
      FAILED(result = principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST))) {
    return Failed(result);
  }
  const std::u16string name = u"servicepack-check " + DecimalText(::GetCurrentProcessId());
  RegisteredTask task(root.get(), name);
  VARIANT system = Empty();
  system.vt = VT_BSTR;
  const Bstr account(u"SYSTEM");
  system.bstrVal = account;
  if (FAILED(result = root->RegisterTaskDefinition(
                 Bstr(name), definition.get(), TASK_CREATE_OR_UPDATE, system, Empty(),
                 TASK_LOGON_SERVICE_ACCOUNT, Empty(), task.out()))) {
    return Failed(result);
  }
  ComPtr<IRunningTask> running;
  if (FAILED(result = task->Run(Empty(), running.out()))) {
    return Failed(result);
  }
  const ULONGLONG deadline = ::GetTickCount64() + ULONGLONG{timeoutSeconds} * 1000;
  PackRun run;
  for (;;) {
    ::Sleep(kPollMilliseconds);
    TASK_STATE state = TASK_STATE_UNKNOWN;
    if (FAILED(task->get_State(&state))) {
      return Failed(E_FAIL);
    }
    if (state != TASK_STATE_RUNNING && state != TASK_STATE_QUEUED) {
      LONG last = 0;
      if (FAILED(result = task->get_LastTaskResult(&last))) {
        return Failed(result);
      }
      if (last == static_cast<LONG>(SCHED_S_TASK_HAS_NOT_RUN) && ::GetTickCount64() < deadline) {
        continue;  // the run has not begun yet
      }
      run.end = PackRun::End::kExited;
      run.exitCode = static_cast<std::uint32_t>(last);
      return run;
    }
    if (::GetTickCount64() >= deadline) {
      run.end = PackRun::End::kTimedOut;  // the task is stopped and deleted on return
      run.failure = Failure(kErrorTimeout);
      return run;
    }
  }
}

}  // namespace sp::check
