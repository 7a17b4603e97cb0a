#pragma once

#include <QString>
#include <QWidget>

class QListWidget;
class QTextBrowser;
class QUrl;

namespace platform {

// The program's help: its table of contents and its topics by number.
class Help {
  public:
    virtual ~Help();
    virtual void showContents() = 0;
    virtual void showTopic(int number) = 0;
};

// The help window. The help folder holds index.html (the table of contents) and one
// page per topic, topic-N.html. Everything is shown inside this window: a missing
// folder or page gives a short note, links between pages stay in the browser, and
// nothing external is ever launched.
class HelpWindow : public QWidget, public Help {
    Q_OBJECT
  public:
    explicit HelpWindow(QString helpFolder, QWidget* parent = nullptr);

    void showContents() override;
    void showTopic(int number) override;

    // The topic on show: 0 for the table of contents, -1 before anything was shown.
    int shownTopic() const { return shownTopic_; }
    QListWidget* contentsList() const { return contents_; }
    QTextBrowser* browser() const { return browser_; }

  private:
    void buildContents();
    void display(int number);
    void followLink(const QUrl& url);
    void bringUp();
    void placeOnScreen();

    QString folder_;
    bool placed_ = false;
    QListWidget* contents_ = nullptr;
    QTextBrowser* browser_ = nullptr;
    int shownTopic_ = -1;
};

// The folder the program ships its help pages in, beside the executable.
QString defaultHelpFolder();

// The topic number of a control, kept on the widget as the dynamic property "helpContext".
// A number of 0 or below removes it.
void setHelpContext(QWidget* w, int number);
// The number of w or of its nearest ancestor that has one; 0 if none has.
int helpContextOf(const QWidget* w);
// F1 anywhere in window opens the topic of the focused control, or the table of
// contents when neither it nor any of its ancestors has a number. help must outlive window.
void installHelpKey(QWidget* window, Help& help);

} // namespace platform
