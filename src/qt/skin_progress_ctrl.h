#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include <QWidget>

#include "ui/progress_bar_model.h"
#include "common/progress_bar_port.h"
#include "qt/ui_invoker.h"

// The single, self-painted progress bar. It is built as a program-wide object
// before the main view exists and gets its place when the view calls
// Create(); until then, and after Destroy(), it has no window and SetPos
// answers -1. Every ProgressBarPort call is safe from any thread: the state
// changes under a lock and the repaint is handed to the UI thread.
class CSkinProgressCtrl : public QWidget, public ProgressBarPort {
    Q_OBJECT
public:
    static constexpr int ControlId = 10005;

    CSkinProgressCtrl();
    ~CSkinProgressCtrl() override;

    // Makes the bar a visible child of `parent` at `geometry`.
    void Create(QWidget* parent, const QRect& geometry);
    // Takes the bar out of its parent so the parent's end does not delete it.
    void Destroy();

    // ProgressBarPort
    int SetPos(int position) override;
    void SetText(const std::string& text) override;
    std::string Text() const override;
    void SetShowText(bool show) override;
    void SetBarColour(Colour colour) override;
    void SetBkColour(Colour colour) override;
    void SetTextColour(Colour colour) override;
    void SetTextBkColour(Colour colour) override;

    int Pos() const;

    // `font`, or a smaller size of it under which `text` fits `width` pixels;
    // never below MinimumFontScale of the original size.
    static QFont FontToFit(const QFont& font, const QString& text, int width);
    static constexpr qreal MinimumFontScale = 0.6;
    // Kept free at each end of the bar so a fitted text never touches its edge.
    static constexpr int TextMarginPixels = 2;
    // Paints so far; lets tests see that a change did or did not repaint.
    int PaintCount() const { return paintCount_.load(); }

Q_SIGNALS:
    // The caller's text changed (emitted on the caller's thread).
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RequestRepaint();
    void RequestUpdate();

    mutable std::mutex mutex_;
    ProgressBarModel model_;
    int clientWidth_ = 0;
    std::atomic<int> paintCount_{0};
    UiInvoker invoker_;
};
