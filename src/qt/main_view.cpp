#include "qt/main_view.h"
#include "qt/toolkit_language.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <utility>

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "qt/picture_file.h"
#include "device/dfu_device.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/status_painting.h"
#include "qt/offscreen_dc.h"
#include "qt/skin_progress_ctrl.h"

namespace {

QRect ToQRect(const PixelRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// The largest pixel size of `font` whose line height does not exceed `lineHeight`.
QFont FontWithLineHeight(QFont font, int lineHeight) {
    for (int size = lineHeight; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= lineHeight)
            return font;
    }
    return font;
}

// Where the system has no Tahoma its stand-in is wider, and a translated line
// may be longer than the English one: the font steps down until the widest
// line fits `width`, so no line loses its ends.
QFont FontFittingLines(QFont font, const std::vector<std::string>& lines, int width) {
    const auto widest = [&lines](const QFont& candidate) {
        const QFontMetrics metrics(candidate);
        int result = 0;
        for (const std::string& line : lines)
            result = std::max(result, metrics.horizontalAdvance(QString::fromStdString(line)));
        return result;
    };
    while (widest(font) > width && font.pixelSize() > 8)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

// `source` as plain 32-bit pixels, copied pixel by pixel: the toolkit's own
// format conversions and scaler hand larger pictures to a thread pool of
// their own in the middle of a paint.
QImage Rgb32Copy(const QImage& source) {
    if (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32)
        return source;
    QImage to(source.size(), QImage::Format_RGB32);
    if (to.isNull())
        return to;
    for (int y = 0; y < source.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(to.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            out[x] = source.pixel(x, y);
    }
    return to;
}

// One colour channel between a and b, `weight` (0..256) of the way to b.
int Blend(int a, int b, int weight) { return a + (((b - a) * weight) >> 8); }

QRgb BlendPixels(QRgb a, QRgb b, int weight) {
    return qRgb(Blend(qRed(a), qRed(b), weight), Blend(qGreen(a), qGreen(b), weight),
                Blend(qBlue(a), qBlue(b), weight));
}

// Where target pixel `to` (of `toSize`) samples the source (of `fromSize`),
// pixel centres aligned: the source pixel and the weight (0..256) of the next.
std::pair<int, int> SamplePoint(int to, int toSize, int fromSize) {
    const double at = std::clamp((to + 0.5) * fromSize / toSize - 0.5, 0.0, fromSize - 1.0);
    const int pixel = static_cast<int>(at);
    return {pixel, static_cast<int>((at - pixel) * 256.0)};
}

// `source` stretched to `size` whatever its aspect, smoothly (bilinear), so
// the picture stays clean at any screen scale. At its own size it is an
// exact copy.
QImage StretchedSmooth(const QImage& picture, const QSize& size) {
    QImage to(size, QImage::Format_RGB32);
    const QImage source = Rgb32Copy(picture);
    if (source.isNull() || to.isNull())
        return to;
    const int lastX = source.width() - 1;
    const int lastY = source.height() - 1;
    for (int y = 0; y < size.height(); ++y) {
        const auto [sourceY, weightY] = SamplePoint(y, size.height(), source.height());
        const auto* upper = reinterpret_cast<const QRgb*>(source.constScanLine(sourceY));
        const auto* lower = reinterpret_cast<const QRgb*>(source.constScanLine(std::min(sourceY + 1, lastY)));
        auto* out = reinterpret_cast<QRgb*>(to.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const auto [sourceX, weightX] = SamplePoint(x, size.width(), source.width());
            const int nextX = std::min(sourceX + 1, lastX);
            out[x] = BlendPixels(BlendPixels(upper[sourceX], upper[nextX], weightX),
                                 BlendPixels(lower[sourceX], lower[nextX], weightX), weightY);
        }
    }
    return to;
}

}  // namespace

CDFUpdate_tesselView::CDFUpdate_tesselView(CDfuDevice& device, CSkinProgressCtrl& progressBar,
                                           const UpdaterServices& services, const Resources& resources,
                                           QWidget* parent)
    : QWidget(parent),
      device_(device),
      progressBar_(progressBar),
      services_(services),
      resources_(resources),
      picture_(new PictureFile(device.ResourceFolders, this)),
      invoker_(this) {
    if (const std::string missing = MissingWiring(services); !missing.empty())
        throw std::invalid_argument(missing);
    connect(picture_, &PictureFile::changed, this, [this] { update(); });
    setFixedSize(ViewWidth, ViewHeight);
    // The background is black before every paint.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::white);
    setPalette(black);
    setAutoFillBackground(true);
}

CDFUpdate_tesselView::~CDFUpdate_tesselView() { OnDestroy(); }

void CDFUpdate_tesselView::OnInitialUpdate() {
    width_ = width();
    height_ = height();
    layout_ = ComputeMainViewLayout(width_, height_);
    progressBar_.Create(this, ToQRect(layout_.progressBar));

    services_.loadRegionSelection();
    if (services_.computeDownloadSize)
        services_.computeDownloadSize();

    // The bar, the boxes and the status text show the device's events, the
    // worker's and the operations' alike; they listen after the program's
    // other listeners, so that a box does not keep an event from those. The
    // worker's own clock runs the monitor and the presence checks; the view
    // only draws the download's animation.
    device_.AttachSignals(&signals_);
    if (services_.startWorker)
        SubscribeCycleListeners();
    display_ = std::make_unique<CycleDisplay>(device_.Events, progressBar_, *this, signals_,
                                              [this] { return resources_.String(ResourceId::ErrorCaption); },
                                              resources_.StringLookup());
    statusDisplay_ = std::make_unique<StatusTextDisplay>(device_.Events, statusText_, resources_, *this);

    signals_.StepEvent.Reset();
    signals_.UploadEvent.Reset();
    // Set before the worker runs: afterwards it could undo the worker's own 0
    // before the identity read.
    signals_.ShowProgress = 1;
    if (services_.startWorker)
        worker_ = services_.startWorker(services_, device_, *this, signals_);
    if (worker_) {
        // The worker's boxes and questions come as requests, which this view
        // answers later on the UI thread; so do the boxes the display shows.
        device_.Events.Subscribe(requestListener_);
        boxRequests_ = worker_->Boxes();
        worker_->Start();
    }
}

void CDFUpdate_tesselView::RequestListener::OnCycleEvent(const CycleEvent& event) {
    if (const auto* request = std::get_if<CycleEvents::Request>(&event))
        view_.invoker_.Post([view = &view_, request = *request] { view->AnswerRequest(request); });
}

void CDFUpdate_tesselView::AnswerRequest(const CycleEvents::Request& request) {
    if (destroyed_ || !worker_)
        return;
    bool yes = false;
    switch (request.kind) {
    case CycleRequestKind::YesNo:
        yes = services_.askYesNo ? services_.askYesNo(request.text) : RunQuestionBox(request.text, request.caption);
        break;
    case CycleRequestKind::CloseQuestion:
        yes = services_.confirmCloseDuringWrite ? services_.confirmCloseDuringWrite(window())
                                                : RunCloseQuestionBox(request.text, request.caption);
        break;
    case CycleRequestKind::ErrorBox:
    case CycleRequestKind::Box:
        // A plain box carries the application's title and, as such boxes
        // always have, the exclamation icon.
        if (services_.messageBox)
            services_.messageBox(request.text);
        else if (request.kind == CycleRequestKind::ErrorBox)
            RunMessageBox(QMessageBox::Critical, request.text, request.caption);
        else
            RunMessageBox(QMessageBox::Warning, request.text, resources_.String(ResourceId::AppTitle));
        break;
    }
    // The window may have ended while the box was open: the stop answered.
    if (!destroyed_ && worker_)
        worker_->Answer(request.id, yes);
}

void CDFUpdate_tesselView::SubscribeCycleListeners() {
    for (CycleEventListener* listener : services_.cycleListeners)
        device_.Events.Subscribe(*listener);
    listenersSubscribed_ = true;
}

// Only once nothing publishes any more: the device's operation stopped and
// the worker joined.
void CDFUpdate_tesselView::UnsubscribeCycleListeners() {
    if (!listenersSubscribed_)
        return;
    for (CycleEventListener* listener : services_.cycleListeners)
        device_.Events.Unsubscribe(*listener);
    listenersSubscribed_ = false;
}

void CDFUpdate_tesselView::OnTimer(int timerId) {
    if (destroyed_)
        return;
    services_.timerTick(timerId, device_, *this, progressBar_, signals_);
}

void CDFUpdate_tesselView::OnDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    // Release a worker waiting for the UI thread first: from here on its
    // hand-overs return at once instead of waiting for a loop that has ended.
    invoker_.Shutdown();
    if (openMessageBox_)
        openMessageBox_->reject();
    for (const int id : {MonitorTimer, ArrivalTimer, ProgressTimer, RemovalTimer})
        StopTimerOnUiThread(id);
    // The engine ends its clock, then the running operation and a download
    // in flight, then its worker.
    boxRequests_ = nullptr;
    if (worker_) {
        worker_->StopAndJoin();
        worker_.reset();
        device_.Events.Unsubscribe(requestListener_);
    }
    UnsubscribeCycleListeners();
    // Nothing may report into this view once it is gone.
    statusDisplay_.reset();
    display_.reset();
    device_.AttachSignals(nullptr);
    services_.releaseDevice(device_);
    progressBar_.Destroy();
}

bool CDFUpdate_tesselView::MayClose(std::function<void()> approved) {
    return !worker_ || destroyed_ || worker_->MayClose(std::move(approved));
}

CycleRequestAnswer CDFUpdate_tesselView::RequestCycle(const CycleRequest& request) {
    if (worker_ == nullptr || destroyed_)
        return CycleRequestAnswer::Refused;
    return worker_->RequestCycle(request);
}

void CDFUpdate_tesselView::StartTimer(int id, int periodMs) {
    invoker_.RunAndWait([this, id, periodMs] { StartTimerOnUiThread(id, periodMs); });
}

void CDFUpdate_tesselView::StopTimer(int id) {
    invoker_.RunAndWait([this, id] { StopTimerOnUiThread(id); });
}

void CDFUpdate_tesselView::RepaintAll() {
    Q_EMIT statusShown(QString::fromStdString(statusText_.Get()));
    invoker_.Post([this] { update(); });
}

void CDFUpdate_tesselView::ShowMessageBox(const std::string& text) {
    if (MessageBoxPort* requests = boxRequests_.load()) {
        requests->ShowMessageBox(text);
        return;
    }
    // A plain box carries the application's title and, as such boxes always
    // have, the exclamation icon.
    ShowBox(QMessageBox::Warning, text, resources_.String(ResourceId::AppTitle));
}

void CDFUpdate_tesselView::ShowErrorBox(const std::string& text, const std::string& caption) {
    if (MessageBoxPort* requests = boxRequests_.load()) {
        requests->ShowErrorBox(text, caption);
        return;
    }
    ShowBox(QMessageBox::Critical, text, caption);
}

void CDFUpdate_tesselView::ShowBox(int icon, const std::string& text, const std::string& caption) {
    // A box that answers itself still comes on the UI thread, in order with
    // what the bar shows before it, as a real box would.
    if (services_.messageBox) {
        invoker_.RunAndWait([this, text] { services_.messageBox(text); });
        return;
    }
    // Blocks the calling worker until the box is dismissed (or the program ends).
    invoker_.RunAndWait([this, icon, text, caption] { RunMessageBox(icon, text, caption); });
}

void CDFUpdate_tesselView::RunMessageBox(int icon, const std::string& text, const std::string& caption) {
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    openMessageBox_ = &box;
    box.exec();
    openMessageBox_ = nullptr;
}

bool CDFUpdate_tesselView::AskYesNo(const std::string& text, const std::string& caption) {
    if (services_.askYesNo) {
        auto yes = std::make_shared<std::atomic<bool>>(false);
        const bool answered = invoker_.RunAndWait([this, yes, text] { *yes = services_.askYesNo(text); });
        return answered && yes->load();
    }
    // Blocks the calling worker until answered; a window that ends first
    // leaves the answer No. The answer is shared: a shut-down releases the
    // worker while the box may still be closing.
    auto yes = std::make_shared<std::atomic<bool>>(false);
    const bool answered = invoker_.RunAndWait([this, yes, text, caption] { *yes = RunQuestionBox(text, caption); });
    return answered && yes->load();
}

bool CDFUpdate_tesselView::RunQuestionBox(const std::string& text, const std::string& caption) {
    if (destroyed_)
        return false;
    const std::string title = caption.empty() ? resources_.String(ResourceId::AppTitle) : caption;
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    NameYesNoButtons(box, resources_);
    openMessageBox_ = &box;
    const int answer = box.exec();
    openMessageBox_ = nullptr;
    return answer == QMessageBox::Yes;
}

// A warning rather than a question: Yes leaves the Orvo half written.
bool CDFUpdate_tesselView::RunCloseQuestionBox(const std::string& text, const std::string& caption) {
    if (destroyed_)
        return false;
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, window());
    box.setDefaultButton(QMessageBox::No);
    NameYesNoButtons(box, resources_);
    openMessageBox_ = &box;
    const int answer = box.exec();
    openMessageBox_ = nullptr;
    return answer == QMessageBox::Yes;
}

void CDFUpdate_tesselView::StartTimerOnUiThread(int id, int periodMs) {
    if (destroyed_)
        return;
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    // Restarting an armed timer replaces its period, as the download's period
    // is replaced by the conversion's.
    timer->start(std::max(periodMs, MinimumTimerPeriodMs));
}

void CDFUpdate_tesselView::StopTimerOnUiThread(int id) {
    const auto it = timers_.find(id);
    if (it != timers_.end())
        it->second->stop();
}

bool CDFUpdate_tesselView::IsTimerActive(int id) const {
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

int CDFUpdate_tesselView::TimerInterval(int id) const {
    const auto it = timers_.find(id);
    return it == timers_.end() ? -1 : it->second->interval();
}

QFont CDFUpdate_tesselView::StatusFont(const std::string& statusText) {
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    // The usual stand-ins for Tahoma (DejaVu Sans, Liberation Sans) run about
    // 15% wider at the same line height, enough to clip the longest status
    // lines at both ends; narrowing them restores Tahoma's proportions.
    if (QFontInfo(font).family().compare(QStringLiteral("Tahoma"), Qt::CaseInsensitive) != 0)
        font.setStretch(SubstituteFontStretch);
    return FontWithLineHeight(font, StatusLineHeight(statusText));
}

void CDFUpdate_tesselView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    OnDraw(painter);
}

void CDFUpdate_tesselView::OnDraw(QPainter& painter) {
    const QImage& picture = picture_->Current();
    if (!picture.isNull()) {
        // Stretched in the screen's own pixels: at a scale of 2 the picture
        // gets twice the pixels instead of being enlarged afterwards.
        const QRect target = ToQRect(layout_.pictureRect);
        const qreal ratio = PaintDevicePixelRatio(painter);
        QImage stretched = StretchedSmooth(picture, (QSizeF(target.size()) * ratio).toSize());
        stretched.setDevicePixelRatio(ratio);
        painter.drawImage(target.topLeft(), stretched);
    }

    const std::string status = statusText_.Get();
    const QRect statusRect = ToQRect(layout_.statusRect);
    const int lineHeight = StatusLineHeight(status);
    painter.save();
    painter.setFont(FontFittingLines(StatusFont(status), StatusLines(status), statusRect.width()));
    painter.setPen(Qt::white);
    painter.setClipRect(statusRect);
    int top = statusRect.top();
    for (const std::string& line : StatusLines(status)) {
        const QRect lineRect(statusRect.left(), top, statusRect.width(), lineHeight);
        painter.drawText(lineRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                         QString::fromStdString(line));
        top += lineHeight;
    }
    painter.restore();
}
