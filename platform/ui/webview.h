#pragma once
// The browser control: shows one web page.
//
// Navigate(Url) fetches the page (HTTP, no proxy, at most MaxPageSize bytes)
// and shows it, or an error text in its place when the fetch fails. Each load
// raises OnNavigateComplete2 (when the server answers) and then
// OnDocumentComplete (when the page is there) on the main thread,
// always after Navigate has returned, with the load's frame: a number that
// names that load (never 0). A host under a name reserved for examples and
// tests (".example", ".invalid", ".test", ".localhost" and those names
// themselves) fails at once without any look-up, as a browser shows its error
// page for a host that does not exist.
//
// The page is shown as text with its layout; nothing it refers to is loaded
// (no pictures, no scripts, no files). A link clicked in it is navigated to
// in the control itself.

#include <QTextBrowser>
#include <QUrl>

#include <cstdint>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace webview {

// True for a host name under a reserved top-level name (RFC 2606, 6761).
bool isReservedHost(const QString& Host);

class WebView : public QTextBrowser {
    Q_OBJECT
public:
    using TFrameEvent = std::function<void(uint64_t Frame, const QUrl& Url)>;

    explicit WebView(QWidget* Parent = nullptr);
    ~WebView() override;

    static constexpr qint64 MaxPageSize = 1 << 20;

    // Starts a load; a load still running is stopped first (it then raises
    // no events). Returns the new load's frame.
    uint64_t Navigate(const QUrl& Url);
    // Stops the running load; its events are not raised.
    void Stop();
    bool Busy() const noexcept { return reply_ != nullptr || pendingFrame_ != 0; }
    const QUrl& LocationURL() const noexcept { return location_; }

    TFrameEvent OnNavigateComplete2;
    TFrameEvent OnDocumentComplete;

protected:
    QVariant loadResource(int Type, const QUrl& Name) override;

private:
    void finished(QNetworkReply* Reply, uint64_t Frame);
    void complete(uint64_t Frame, const QUrl& Url, const QString& Html, bool IsHtml);
    void fail(uint64_t Frame, const QUrl& Url, const QString& Reason);
    void queueEvent(uint64_t Frame, const QUrl& Url, bool Document);
    void raiseEvent(const TFrameEvent& Event, uint64_t Frame, const QUrl& Url);

    QNetworkAccessManager* net_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    uint64_t frame_ = 0;         // the load in hand
    uint64_t pendingFrame_ = 0;  // a load whose events are queued
    uint64_t lastFrame_ = 0;
    uint64_t navigated_ = 0;     // the load whose navigation was reported
    QUrl location_;
};

}  // namespace webview
