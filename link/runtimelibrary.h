#pragma once
// A C library that a bus road loads at run time (the NI-488.2 library, a VISA library), the one
// way both load theirs. The file is the one an environment variable names, else the first of the
// usual names that loads and has every call the road needs. It is loaded once, under a lock (the
// roads' devices are opened and called on worker threads of their own), and never destroyed: a
// call that still runs on a worker thread while the program exits finds it.

#include <QLibrary>
#include <QStringList>

#include <mutex>

namespace qlx {

template <typename Calls>
class RuntimeLibrary {
public:
    // Fills `calls` from a file that loaded; returns the names of the calls it lacks.
    using Resolve = QStringList (*)(const QLibrary& file, Calls& calls);

    // What: "GPIB", "VISA". The instance lives for the rest of the program.
    static RuntimeLibrary& create(const char* what, const char* variable, QStringList usualNames, Resolve resolve)
    {
        return *new RuntimeLibrary(what, variable, std::move(usualNames), resolve);
    }

    // The calls, loading on first use; null when no usable library loads (failure() says why).
    const Calls* calls()
    {
        const std::lock_guard lock(m_mutex);
        if (!m_tried)
            load();
        return m_usable ? &m_calls : nullptr;
    }
    // Why no library is usable: none of the names loads, or the one that did lacks calls.
    QString failure() const
    {
        const std::lock_guard lock(m_mutex);
        return m_failure;
    }
    // Forgets the library so that the next use loads again (tests switch libraries).
    void unload()
    {
        const std::lock_guard lock(m_mutex);
        m_file.unload();
        m_calls = {};
        m_tried = m_usable = false;
        m_failure.clear();
    }
    // Runs `fn` with the calls of a library that is loaded, without loading one; while it runs,
    // the library is not unloaded.
    template <typename Fn>
    void ifLoaded(Fn fn)
    {
        const std::lock_guard lock(m_mutex);
        if (m_usable)
            fn(m_calls);
    }

    // Resolves the symbols of a loaded file into call slots, noting the calls it lacks.
    class Resolver {
    public:
        explicit Resolver(const QLibrary& file) : m_file(const_cast<QLibrary&>(file)) {}
        // True when the file has `name`; `slot` is then the call, else null.
        template <typename Fn>
        bool optional(Fn& slot, const char* name)
        {
            slot = reinterpret_cast<Fn>(m_file.resolve(name));
            return slot != nullptr;
        }
        // As optional(), and a missing call is noted.
        template <typename Fn>
        void need(Fn& slot, const char* name)
        {
            if (!optional(slot, name))
                m_missing << QString::fromLatin1(name);
        }
        QStringList& missing() { return m_missing; }

    private:
        QLibrary& m_file;
        QStringList m_missing;
    };

private:
    RuntimeLibrary(const char* what, const char* variable, QStringList usualNames, Resolve resolve)
        : m_what(QString::fromLatin1(what)),
          m_variable(variable),
          m_usualNames(std::move(usualNames)),
          m_resolve(resolve)
    {
    }

    QStringList candidates() const
    {
        const QString chosen = qEnvironmentVariable(m_variable);
        return chosen.isEmpty() ? m_usualNames : QStringList{chosen};
    }

    void load()
    {
        m_tried = true;
        const QStringList names = candidates();
        m_failure = QStringLiteral("no %1 library could be loaded (tried %2)").arg(m_what, names.join(u", "));
        for (const QString& name : names) {
            m_file.setFileName(name);
            if (!m_file.load())
                continue;
            const QStringList missing = m_resolve(m_file, m_calls);
            if (missing.isEmpty()) {
                m_usable = true;
                m_failure.clear();
                return;
            }
            m_failure = QStringLiteral("%1 library %2 lacks %3").arg(m_what, name, missing.join(u", "));
            m_file.unload();
            m_calls = {};
        }
    }

    const QString m_what;
    const char* const m_variable;
    const QStringList m_usualNames;
    const Resolve m_resolve;
    mutable std::mutex m_mutex;
    QLibrary m_file;
    Calls m_calls{};
    bool m_tried = false;
    bool m_usable = false;
    QString m_failure;
};

} // namespace qlx
