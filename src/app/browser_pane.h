#pragma once
// An embedded browser pane of the window (the advertisement and the setup document): an HTML
// view that fills the pane, made when the pane first navigates. documentComplete follows every
// finished document, after the page's scroll bars and border are turned off when the pane is
// told to (the advertisement pane), so the pane shows the page's content and nothing else.

#include <QWidget>

#include <string>

class QWebEngineView;

namespace kivota {

// The server's "NULL" for a page means there is none; the first four characters of a result
// page's address are compared the same way.
inline constexpr const char* kNoPage = "NULL";
inline bool bIsNoPage(const std::string& url) { return url == kNoPage; }

class BrowserPane : public QWidget {
    Q_OBJECT

public:
    BrowserPane(const QString& name, QWidget* parent);
    ~BrowserPane() override;

    // Loads `url`; documentComplete follows when the page has loaded (or failed to).
    void navigate(const std::string& url);
    // Sizes the pane to 0 by 0 (its position stays).
    void collapse();
    // Shows or hides the browser inside the pane without changing the pane's geometry.
    void setBrowserVisible(bool visible);
    bool browserVisible() const { return browserVisible_; }
    bool collapsed() const { return width() == 0 && height() == 0; }
    const std::string& lastUrl() const { return lastUrl_; }

    // Whether every finished document gets its body's scroll bars and border turned off.
    void setPlainDocument(bool plain) { plainDocument_ = plain; }
    // The HTML view, or null before the first navigation or with the web engine off.
    QWebEngineView* view() const { return view_; }

    // With the web engine off (window tests that only look at the window's own logic), a
    // pane records its navigations and loads nothing. On by default.
    static void setWebEngineEnabled(bool enabled);
    static bool webEngineEnabled();

signals:
    void documentComplete();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void vMakeView();
    void vLoadFinished(bool ok);

    QWebEngineView* view_ = nullptr;
    bool browserVisible_ = true;
    bool plainDocument_ = false;
    std::string lastUrl_;
};

}  // namespace kivota
