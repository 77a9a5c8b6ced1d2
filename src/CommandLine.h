#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The installer's command line: help, version, the removal of the installed product, the
// check of a bundle, and the checks before a window may open. Runs before any Qt application
// object exists.
class CommandLine {
public:
    enum class Mode { Window, Help, Version, Uninstall, Check, Usage };

    // `program` is the name the installer was started by; `arguments` follow it.
    CommandLine(QString program, const QStringList& arguments);

    [[nodiscard]] Mode mode() const { return m_mode; }
    // Does what the command line asks that needs no window, and returns the exit status;
    // nothing when the window is to open (the log file is then set up).
    [[nodiscard]] std::optional<int> runWithoutWindow() const;

private:
    [[nodiscard]] QString usage() const;
    [[nodiscard]] int uninstall() const;
    [[nodiscard]] int check() const;
    void refuse(const QString& message) const;

    QString m_program;
    Mode m_mode = Mode::Window;
    bool m_verbose = false;
    bool m_yes = false;
    bool m_online = false;
    QString m_problem;
    QString m_checkedBundle; // null: the installer's own
};
