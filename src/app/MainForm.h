// The main window: owns the program's life from loading the settings to
// writing the window's place back at the end.
#pragma once

#include "settings/DialupPhonebook.h"

#include <QWidget>
#include <string>

namespace pim {

class TMainForm : public QWidget {
    Q_OBJECT
public:
    // `programDir` is the program's folder with a trailing '/'; `dialup` must
    // outlive the window.
    TMainForm(const std::string& programDir, DialupPhonebook& dialup, QWidget* parent = nullptr);
    ~TMainForm() override;

    const std::string& ProgramDir() const { return programDir_; }
    const std::string& ProfilePath() const { return profilePath_; }
    const std::string& StatusText() const { return statusText_; }

    // -1 idle, -2 dialling, 0..19 the account being checked.
    int CheckIndex = -1;
    // A dialog or message box of the main window is open.
    bool DialogOpen = false;

public slots:
    // Ends the program through the orderly shutdown, without asking (logout, SIGTERM).
    void Terminate();

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void SetStatus(const std::string& text);

    std::string programDir_;
    std::string profilePath_;
    DialupPhonebook& dialup_;
    std::string statusText_;
    bool terminating_ = false;
};

} // namespace pim
