#pragma once

#include <QString>

namespace ostrevo {

// A fiscal driver library, loaded from its file for one operation and unloaded when this
// object goes (dlopen/dlclose). Functions are looked up by name and called with the C
// calling convention.
class DriverLibrary {
public:
    // Loads the file; loaded() tells whether that worked, error() why not.
    explicit DriverLibrary(const QString &path);
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary &) = delete;
    DriverLibrary &operator=(const DriverLibrary &) = delete;

    bool loaded() const { return m_handle != nullptr; }
    const QString &error() const { return m_error; }
    const QString &path() const { return m_path; }

    // The function of that name, or null.
    void *lookup(const char *name) const;

    template <typename Function>
    bool resolve(Function *&function, const char *name) const
    {
        function = reinterpret_cast<Function *>(lookup(name));
        return function != nullptr;
    }

private:
    QString m_path;
    QString m_error;
    void *m_handle = nullptr;
};

} // namespace ostrevo
