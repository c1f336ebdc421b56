#pragma once
// The pager's main window.

#include <QMainWindow>

class TMainWin : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainWin(QWidget* parent = nullptr);
    ~TMainWin() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormCloseQuery();
};
