#pragma once

#include <QAbstractScrollArea>
#include <QList>
#include <QTextLayout>
#include <QTextOption>
#include <cstddef>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zelvar {

// A scroll area over lines of any number, as the log views and the editor
// show them: only the lines on the screen are laid out and drawn, each
// wrapped at the window's edge, and the scroll bar counts lines. What the
// lines say, and their formats, come from the class built on it.
class LineLayoutArea : public QAbstractScrollArea {
public:
    explicit LineLayoutArea(QWidget* parent = nullptr);
    ~LineLayoutArea() override;

    // The first line at the top of the view (the scroll bar's value).
    std::size_t firstVisibleLine() const;

protected:
    struct Row {
        std::size_t line;
        int top;
        int height;
        std::shared_ptr<QTextLayout> layout;
    };

    virtual std::size_t lineCount() const = 0;
    virtual QString lineText(std::size_t line) const = 0;
    virtual QList<QTextLayout::FormatRange> lineFormats(std::size_t) const { return {}; }

    // Lines were added or removed, or with `relayout` changed: the scroll
    // range and the screen follow, with all lines laid out anew if asked.
    void refresh(bool relayout);
    // One line is gone or changed; the rest keep their layouts.
    void forgetLayout(std::size_t line) { layouts_.erase(line); }
    void updateScrollRange();
    // Scrolls the least that shows `line` whole: to the top when above the
    // view, as the last line shown when below it.
    void showLine(std::size_t line);
    // The line under a point and the UTF-16 index in its text; above the
    // lines the first shown, below them the end of the last.
    std::pair<std::size_t, int> hitLine(const QPoint& point);
    // While the mouse drags past an edge, the view follows a line at a time.
    void followDrag(const QPoint& point);

    std::shared_ptr<QTextLayout> layoutLine(std::size_t line);
    const std::vector<Row>& rows();

    // The space around the text, as a text edit leaves it.
    static constexpr int kMargin = 4;

    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    int textWidth() const;
    // TAB to the same stops in every view of the logs, from the font's space.
    void setTabStops();
    // A line with a long run of characters without a space wraps anywhere.
    static bool longWordIn(QStringView text);
    int lineHeight(std::size_t line);

    QTextOption option_;
    QTextOption anywhere_;
    std::vector<Row> rows_;
    bool rowsValid_ = false;
    // Lines laid out lately, by index: the scroll range and the paint that
    // follow a change need the same ones.
    std::unordered_map<std::size_t, std::shared_ptr<QTextLayout>> layouts_;
    int layoutWidth_ = 0;
};

}  // namespace zelvar
