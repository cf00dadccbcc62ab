#include "app/browser_pane.h"

#include <QPointer>
#include <QResizeEvent>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace kivota {

namespace {

bool webEngineOn = true;

// The body's scroll attribute and the style's overflow and border; a document without a body
// or a style is left as it is.
constexpr const char* kPlainDocumentScript =
    "(function(){var b=document.body;if(!b)return false;b.scroll='no';b.setAttribute('scroll','no');"
    "var s=b.style;if(s){s.overflow='hidden';s.border='none';}return true;})()";

}  // namespace

void BrowserPane::setWebEngineEnabled(bool enabled) { webEngineOn = enabled; }
bool BrowserPane::webEngineEnabled() { return webEngineOn; }

BrowserPane::BrowserPane(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setFocusPolicy(Qt::NoFocus);  // not a tab stop
}

BrowserPane::~BrowserPane() = default;

void BrowserPane::vMakeView() {
    view_ = new QWebEngineView(this);
    view_->setObjectName(objectName() + QStringLiteral("View"));
    view_->setFocusPolicy(Qt::NoFocus);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->setGeometry(rect());
    view_->setVisible(browserVisible_);
    connect(view_, &QWebEngineView::loadFinished, this, &BrowserPane::vLoadFinished);
}

void BrowserPane::navigate(const std::string& url) {
    lastUrl_ = url;
    if (!webEngineOn) return;
    if (view_ == nullptr) vMakeView();
    view_->setUrl(QUrl(QString::fromStdString(url)));
}

void BrowserPane::vLoadFinished(bool ok) {
    // A page that failed shows what the browser shows for it and completes all the same.
    (void)ok;
    if (!plainDocument_) {
        emit documentComplete();
        return;
    }
    // documentComplete waits for the script, so whoever reacts sees the plain document.
    QPointer<BrowserPane> self(this);
    view_->page()->runJavaScript(QString::fromUtf8(kPlainDocumentScript), [self](const QVariant&) {
        if (self) emit self->documentComplete();
    });
}

void BrowserPane::collapse() { resize(0, 0); }

void BrowserPane::setBrowserVisible(bool visible) {
    browserVisible_ = visible;
    if (view_ != nullptr) view_->setVisible(visible);
}

void BrowserPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_ != nullptr) view_->setGeometry(rect());
}

}  // namespace kivota
