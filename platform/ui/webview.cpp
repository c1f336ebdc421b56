#include "platform/ui/webview.h"

#include "platform/app.h"
#include "platform/sockets.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>

namespace webview {

bool isReservedHost(const QString& Host) { return sockets::isReservedHost(Host.toStdString()); }

WebView::WebView(QWidget* Parent) : QTextBrowser(Parent)
{
    net_ = new QNetworkAccessManager(this);
    net_->setProxy(QNetworkProxy::NoProxy);
    net_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        const QUrl url = location_.resolved(link);
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) Navigate(url);
    });
}

WebView::~WebView()
{
    OnNavigateComplete2 = nullptr;
    OnDocumentComplete = nullptr;
    Stop();
}

QVariant WebView::loadResource(int, const QUrl&) { return {}; }

void WebView::Stop()
{
    pendingFrame_ = 0;
    frame_ = 0;
    if (QNetworkReply* r = std::exchange(reply_, nullptr)) {
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

uint64_t WebView::Navigate(const QUrl& Url)
{
    Stop();
    const uint64_t frame = ++lastFrame_;
    frame_ = frame;
    location_ = Url;
    const QString scheme = Url.scheme().toLower();
    if (!Url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        fail(frame, Url, QString::fromUtf8("неверный адрес"));
        return frame;
    }
    if (isReservedHost(Url.host())) {
        fail(frame, Url, QString::fromUtf8("сервер не найден"));
        return frame;
    }
    QNetworkRequest request(Url);
    request.setMaximumRedirectsAllowed(5);
    reply_ = net_->get(request);
    QNetworkReply* reply = reply_;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > MaxPageSize && reply == reply_) reply->abort();
    });
    // The server has answered: the navigation is done, the document follows.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, frame] {
        if (reply != reply_ || frame != frame_ || navigated_ == frame) return;
        navigated_ = frame;
        queueEvent(frame, reply->url(), false);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, frame] { finished(reply, frame); });
    return frame;
}

void WebView::finished(QNetworkReply* Reply, uint64_t Frame)
{
    if (Reply != reply_ || Frame != frame_) return;
    reply_ = nullptr;
    Reply->deleteLater();
    const QUrl url = Reply->url();
    if (Reply->error() != QNetworkReply::NoError) {
        fail(Frame, url, Reply->errorString());
        return;
    }
    const QByteArray data = Reply->read(MaxPageSize);
    const QString type = Reply->header(QNetworkRequest::ContentTypeHeader).toString().toLower();
    QString text;
    auto decoder = QStringDecoder::decoderForHtml(data);
    if (decoder.isValid())
        text = decoder(data);
    else
        text = QString::fromLatin1(data);
    complete(Frame, url, text, type.isEmpty() || type.contains(QLatin1String("html")));
}

void WebView::fail(uint64_t Frame, const QUrl& Url, const QString& Reason)
{
    const QString html = QString::fromUtf8("<p>Не удалось открыть страницу %1: %2.</p>")
                             .arg(Url.toDisplayString().toHtmlEscaped(), Reason.toHtmlEscaped());
    complete(Frame, Url, html, true);
}

void WebView::complete(uint64_t Frame, const QUrl& Url, const QString& Html, bool IsHtml)
{
    // The page and its events come after Navigate has returned, as a
    // browser's do.
    pendingFrame_ = Frame;
    QPointer<WebView> self(this);
    const bool navigated = navigated_ == Frame;
    QMetaObject::invokeMethod(
        this,
        [self, Frame, Url, Html, IsHtml, navigated] {
            if (!self || self->pendingFrame_ != Frame) return;
            if (IsHtml)
                self->setHtml(Html);
            else
                self->setPlainText(Html);
            if (!navigated) {
                self->raiseEvent(self->OnNavigateComplete2, Frame, Url);
                if (!self || self->pendingFrame_ != Frame) return;
            }
            self->pendingFrame_ = 0;
            self->frame_ = 0;
            self->raiseEvent(self->OnDocumentComplete, Frame, Url);
        },
        Qt::QueuedConnection);
}

void WebView::queueEvent(uint64_t Frame, const QUrl& Url, bool Document)
{
    QPointer<WebView> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, Frame, Url, Document] {
            if (!self || self->frame_ != Frame) return;
            self->raiseEvent(Document ? self->OnDocumentComplete : self->OnNavigateComplete2, Frame, Url);
        },
        Qt::QueuedConnection);
}

void WebView::raiseEvent(const TFrameEvent& Event, uint64_t Frame, const QUrl& Url)
{
    if (!Event) return;
    const TFrameEvent handler = Event;  // the handler may replace the event or free the control
    app::guard([&] { handler(Frame, Url); });
}

}  // namespace webview
