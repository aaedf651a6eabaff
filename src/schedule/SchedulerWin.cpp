// Scheduler.h on Windows: the task \Strivo\Sync of the current user, run
// only while they are logged on (no password stored), made and read through
// the Task Scheduler's COM interface.

#include <windows.h>
// windows.h first.
#include <oleauto.h>
#include <taskschd.h>

#include <cstdio>
#include <utility>

#include "schedule/Scheduler.h"
#include "schedule/TaskDefinition.h"
#include "text/WideText.h"

namespace strivo {
namespace {

constexpr unsigned kUtf8 = CP_UTF8;

// Holds one reference to a COM object.
template <class T>
class Com {
public:
    Com() = default;
    ~Com() { Reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;

    T** Put() {
        Reset();
        return &m_object;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    void Reset() {
        if (m_object != nullptr) {
            m_object->Release();
            m_object = nullptr;
        }
    }

private:
    T* m_object = nullptr;
};

// A BSTR this code owns.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8)
        : m_text(::SysAllocString(WideFrom(utf8, kUtf8).c_str())) {}
    ~Bstr() { ::SysFreeString(m_text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR* Put() {
        ::SysFreeString(m_text);
        m_text = nullptr;
        return &m_text;
    }
    BSTR Get() const { return m_text; }
    std::string Utf8() const {
        return m_text != nullptr
                   ? NarrowFrom(std::wstring_view(m_text, ::SysStringLen(m_text)), kUtf8)
                   : std::string();
    }

private:
    BSTR m_text = nullptr;
};

class Variant {
public:
    Variant() { ::VariantInit(&m_value); }
    ~Variant() { ::VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    const VARIANT& Get() const { return m_value; }

private:
    VARIANT m_value;
};

std::string SystemWords(HRESULT result) {
    wchar_t* words = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&words), 0, nullptr);
    std::string text = length > 0 ? NarrowFrom(std::wstring_view(words, length), kUtf8) : "";
    ::LocalFree(words);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

Outcome Check(HRESULT result, const char* call) {
    if (SUCCEEDED(result)) {
        return {};
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(result));
    return Problem(ProblemCode::ScheduleTaskScheduler, {call, hex}, SystemWords(result));
}

bool NotFound(HRESULT result) {
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// COM calls made in order until one fails, and which one did.
class Steps {
public:
    template <class Call>
    Steps& Then(const char* name, Call&& call) {
        if (SUCCEEDED(m_result)) {
            m_name = name;
            m_result = call();
        }
        return *this;
    }
    Outcome Done() const { return Check(m_result, m_name); }

private:
    HRESULT m_result = S_OK;
    const char* m_name = "";
};

// COM for this thread, for as long as the session lasts; a thread that
// already has it in another model can use it as it is.
class Apartment {
public:
    Apartment() : m_result(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(m_result)) {
            ::CoUninitialize();
        }
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT Result() const { return m_result == RPC_E_CHANGED_MODE ? S_OK : m_result; }

private:
    HRESULT m_result;
};

// The Task Scheduler, connected as the current user, and its root folder.
struct Session {
    Apartment apartment;
    Com<ITaskService> service;
    Com<ITaskFolder> root;

    Outcome Open() {
        if (Outcome done = Check(apartment.Result(), "CoInitializeEx"); !done) {
            return done;
        }
        if (Outcome done =
                Check(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_ITaskService, service.PutVoid()),
                      "CoCreateInstance(TaskScheduler)");
            !done) {
            return done;
        }
        const Variant none;
        if (Outcome done = Check(service->Connect(none.Get(), none.Get(), none.Get(), none.Get()),
                                 "ITaskService::Connect");
            !done) {
            return done;
        }
        return Check(service->GetFolder(Bstr("\\").Get(), root.Put()), "ITaskService::GetFolder");
    }

    // \Strivo, or nothing (and no problem) when it does not exist.
    Outcome OurFolder(Com<ITaskFolder>& folder) {
        const HRESULT result = root->GetFolder(Bstr(kTaskFolder).Get(), folder.Put());
        return NotFound(result) ? Outcome() : Check(result, "ITaskFolder::GetFolder");
    }
};

// The task \Strivo\Sync, or nothing (and no problem) when it does not exist.
Outcome OurTask(ITaskFolder* folder, Com<IRegisteredTask>& task) {
    const HRESULT result = folder->GetTask(Bstr(kTaskName).Get(), task.Put());
    return NotFound(result) ? Outcome() : Check(result, "ITaskFolder::GetTask");
}

Result<std::string> Author(ITaskDefinition* definition) {
    Com<IRegistrationInfo> info;
    Bstr author;
    const Outcome done =
        Steps()
            .Then("ITaskDefinition::get_RegistrationInfo",
                  [&] { return definition->get_RegistrationInfo(info.Put()); })
            .Then("IRegistrationInfo::get_Author", [&] { return info->get_Author(author.Put()); })
            .Done();
    if (!done) {
        return done.problem();
    }
    return author.Utf8();
}

// The values TaskFor sets that tell a schedule, read back from a registered
// task: the author, the first trigger, the first action.
Result<TaskDefinition> ReadTask(IRegisteredTask* task) {
    Com<ITaskDefinition> definition;
    if (Outcome done =
            Check(task->get_Definition(definition.Put()), "IRegisteredTask::get_Definition");
        !done) {
        return done.problem();
    }
    Result<std::string> author = Author(definition.Get());
    if (!author) {
        return author.problem();
    }
    TaskDefinition read;
    read.author = *author;
    if (read.author != kTaskAuthor) {
        return read;
    }

    Com<ITriggerCollection> triggers;
    Com<ITrigger> trigger;
    Com<IRepetitionPattern> repetition;
    Com<IActionCollection> actions;
    Com<IAction> action;
    Com<IExecAction> exec;
    Bstr start;
    Bstr interval;
    Bstr path;
    Bstr arguments;
    LONG triggerCount = 0;
    LONG actionCount = 0;
    Steps steps;
    steps
        .Then("ITaskDefinition::get_Triggers",
              [&] { return definition->get_Triggers(triggers.Put()); })
        .Then("ITriggerCollection::get_Count", [&] { return triggers->get_Count(&triggerCount); })
        .Then("ITaskDefinition::get_Actions",
              [&] { return definition->get_Actions(actions.Put()); })
        .Then("IActionCollection::get_Count", [&] { return actions->get_Count(&actionCount); });
    // One trigger and one action, as TaskFor makes; anything else reads as
    // edited, with the values left empty.
    if (triggerCount == 1) {
        steps
            .Then("ITriggerCollection::get_Item",
                  [&] { return triggers->get_Item(1, trigger.Put()); })
            .Then("ITrigger::get_StartBoundary",
                  [&] { return trigger->get_StartBoundary(start.Put()); })
            .Then("ITrigger::get_Repetition",
                  [&] { return trigger->get_Repetition(repetition.Put()); })
            .Then("IRepetitionPattern::get_Interval",
                  [&] { return repetition->get_Interval(interval.Put()); });
    }
    if (actionCount == 1) {
        steps.Then("IActionCollection::get_Item",
                   [&] { return actions->get_Item(1, action.Put()); });
        if (Outcome done = steps.Done(); !done) {
            return done.problem();
        }
        if (SUCCEEDED(action->QueryInterface(IID_IExecAction, exec.PutVoid()))) {
            steps.Then("IExecAction::get_Path", [&] { return exec->get_Path(path.Put()); })
                .Then("IExecAction::get_Arguments",
                      [&] { return exec->get_Arguments(arguments.Put()); });
        }
    }
    if (Outcome done = steps.Done(); !done) {
        return done.problem();
    }
    read.startBoundary = start.Utf8();
    read.repetitionInterval = interval.Utf8();
    read.program = path.Utf8();
    read.arguments = arguments.Utf8();
    return read;
}

Result<std::string> RegisteredAuthor(IRegisteredTask* task) {
    Com<ITaskDefinition> definition;
    if (Outcome done =
            Check(task->get_Definition(definition.Put()), "IRegisteredTask::get_Definition");
        !done) {
        return done.problem();
    }
    return Author(definition.Get());
}

Outcome Apply(const TaskDefinition& task, ITaskDefinition* definition) {
    Com<IRegistrationInfo> info;
    Com<ITaskSettings> settings;
    Com<ITriggerCollection> triggers;
    Com<ITrigger> trigger;
    Com<IDailyTrigger> daily;
    Com<IActionCollection> actions;
    Com<IAction> action;
    Com<IExecAction> exec;
    const VARIANT_BOOL onBatteries = task.runOnBatteries ? VARIANT_FALSE : VARIANT_TRUE;
    Steps steps;
    const auto step = [&steps](const char* name, auto&& call) { steps.Then(name, call); };
    step("ITaskDefinition::get_RegistrationInfo",
         [&] { return definition->get_RegistrationInfo(info.Put()); });
    step("IRegistrationInfo::put_Author",
         [&] { return info->put_Author(Bstr(task.author).Get()); });
    step("IRegistrationInfo::put_Description",
         [&] { return info->put_Description(Bstr(task.description).Get()); });
    step("ITaskDefinition::get_Settings", [&] { return definition->get_Settings(settings.Put()); });
    step("ITaskSettings::put_StartWhenAvailable", [&] {
        return settings->put_StartWhenAvailable(task.startWhenAvailable ? VARIANT_TRUE
                                                                        : VARIANT_FALSE);
    });
    step("ITaskSettings::put_DisallowStartIfOnBatteries",
         [&] { return settings->put_DisallowStartIfOnBatteries(onBatteries); });
    step("ITaskSettings::put_StopIfGoingOnBatteries",
         [&] { return settings->put_StopIfGoingOnBatteries(onBatteries); });
    step("ITaskSettings::put_ExecutionTimeLimit",
         [&] { return settings->put_ExecutionTimeLimit(Bstr(task.executionTimeLimit).Get()); });
    step("ITaskDefinition::get_Triggers", [&] { return definition->get_Triggers(triggers.Put()); });
    step("ITriggerCollection::Create",
         [&] { return triggers->Create(TASK_TRIGGER_DAILY, trigger.Put()); });
    step("ITrigger::QueryInterface(IDailyTrigger)",
         [&] { return trigger->QueryInterface(IID_IDailyTrigger, daily.PutVoid()); });
    step("IDailyTrigger::put_StartBoundary",
         [&] { return daily->put_StartBoundary(Bstr(task.startBoundary).Get()); });
    step("IDailyTrigger::put_DaysInterval", [&] { return daily->put_DaysInterval(1); });
    step("IDailyTrigger::put_RandomDelay", [&] {
        // A scheduler without random delays (Wine's) still runs the task on time.
        const HRESULT delayed = daily->put_RandomDelay(Bstr(task.randomDelay).Get());
        return delayed == E_NOTIMPL ? S_OK : delayed;
    });
    if (!task.repetitionInterval.empty()) {
        Com<IRepetitionPattern> repetition;
        step("IDailyTrigger::get_Repetition",
             [&] { return daily->get_Repetition(repetition.Put()); });
        step("IRepetitionPattern::put_Interval",
             [&] { return repetition->put_Interval(Bstr(task.repetitionInterval).Get()); });
        step("IRepetitionPattern::put_Duration",
             [&] { return repetition->put_Duration(Bstr(task.repetitionDuration).Get()); });
    }
    step("ITaskDefinition::get_Actions", [&] { return definition->get_Actions(actions.Put()); });
    step("IActionCollection::Create",
         [&] { return actions->Create(TASK_ACTION_EXEC, action.Put()); });
    step("IAction::QueryInterface(IExecAction)",
         [&] { return action->QueryInterface(IID_IExecAction, exec.PutVoid()); });
    step("IExecAction::put_Path", [&] { return exec->put_Path(Bstr(task.program).Get()); });
    step("IExecAction::put_Arguments",
         [&] { return exec->put_Arguments(Bstr(task.arguments).Get()); });
    return steps.Done();
}

}  // namespace

Result<InstallOutcome> InstallSchedule(const SyncSchedule& schedule, const SyncCommand& command) {
    Result<TaskDefinition> task = TaskFor(schedule, command);
    if (!task) {
        return task.problem();
    }
    Session session;
    Com<ITaskFolder> folder;
    if (Outcome done = session.Open(); !done) {
        return done.problem();
    }
    if (Outcome done = session.OurFolder(folder); !done) {
        return done.problem();
    }
    if (folder.Get() == nullptr) {
        const Variant none;
        if (Outcome done =
                Check(session.root->CreateFolder(Bstr(kTaskFolder).Get(), none.Get(), folder.Put()),
                      "ITaskFolder::CreateFolder");
            !done) {
            return done.problem();
        }
    }
    Com<IRegisteredTask> existing;
    if (Outcome done = OurTask(folder.Get(), existing); !done) {
        return done.problem();
    }
    if (existing.Get() != nullptr) {
        Result<std::string> author = RegisteredAuthor(existing.Get());
        if (!author) {
            return author.problem();
        }
        if (*author != kTaskAuthor) {
            return Problem(ProblemCode::ScheduleForeignEntry, {std::string(kTaskPath)});
        }
    }

    Com<ITaskDefinition> definition;
    if (Outcome done =
            Check(session.service->NewTask(0, definition.Put()), "ITaskService::NewTask");
        !done) {
        return done.problem();
    }
    if (Outcome done = Apply(*task, definition.Get()); !done) {
        return done.problem();
    }
    // No user and no password: the task runs as the user registering it,
    // only while they are logged on.
    const Variant none;
    Com<IRegisteredTask> registered;
    if (Outcome done =
            Check(folder->RegisterTaskDefinition(
                      Bstr(kTaskName).Get(), definition.Get(), TASK_CREATE_OR_UPDATE, none.Get(),
                      none.Get(), TASK_LOGON_INTERACTIVE_TOKEN, none.Get(), registered.Put()),
                  "ITaskFolder::RegisterTaskDefinition");
        !done) {
        return done.problem();
    }
    InstallOutcome outcome;
    outcome.written = {std::string(kTaskPath)};
    return outcome;
}

Result<RemoveOutcome> RemoveSchedule() {
    Session session;
    Com<ITaskFolder> folder;
    Com<IRegisteredTask> task;
    RemoveOutcome outcome;
    if (Outcome done = session.Open(); !done) {
        return done.problem();
    }
    if (Outcome done = session.OurFolder(folder); !done) {
        return done.problem();
    }
    if (folder.Get() == nullptr) {
        return outcome;
    }
    if (Outcome done = OurTask(folder.Get(), task); !done) {
        return done.problem();
    }
    if (task.Get() != nullptr) {
        Result<std::string> author = RegisteredAuthor(task.Get());
        if (!author) {
            return author.problem();
        }
        if (*author != kTaskAuthor) {
            outcome.leftForeign.push_back(std::string(kTaskPath));
            return outcome;
        }
        task.Reset();
        if (Outcome done =
                Check(folder->DeleteTask(Bstr(kTaskName).Get(), 0), "ITaskFolder::DeleteTask");
            !done) {
            return done.problem();
        }
        outcome.removed.push_back(std::string(kTaskPath));
    }
    folder.Reset();
    // Fails while other tasks or folders are in it; they stay, and so does it.
    session.root->DeleteFolder(Bstr(kTaskFolder).Get(), 0);
    return outcome;
}

Result<InstalledSchedule> ReadInstalledSchedule() {
    Session session;
    Com<ITaskFolder> folder;
    Com<IRegisteredTask> task;
    InstalledSchedule installed;
    installed.where = kTaskPath;
    if (Outcome done = session.Open(); !done) {
        return done.problem();
    }
    if (Outcome done = session.OurFolder(folder); !done) {
        return done.problem();
    }
    if (folder.Get() == nullptr) {
        return installed;
    }
    if (Outcome done = OurTask(folder.Get(), task); !done) {
        return done.problem();
    }
    if (task.Get() == nullptr) {
        return installed;
    }
    Result<TaskDefinition> read = ReadTask(task.Get());
    if (!read) {
        return read.problem();
    }
    return ScheduleFromTask(*read);
}

}  // namespace strivo
