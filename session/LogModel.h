// The log memo: the lines of the control dialogue and the controller's own notices, each with
// its kind so that a view can tell them apart. It keeps at most a bounded number of lines; the
// oldest go first, so a long session does not grow without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::session {

enum class TLogKind : uint8_t {
    Command,  // "> " a command sent
    Reply,    // "< " a reply line
    Notice,   // "! " the engine's own notice
    Session,  // the controller's lines ("Connecting to ...")
    Error,    // the controller's "Error " lines
};

// The kind of a line by its prefix.
TLogKind ClassifyLogLine(std::string_view line);

struct TLogLine {
    TLogKind Kind;
    std::string Text;
};

class TLogObserver {
  public:
    virtual ~TLogObserver() = default;
    // `count` lines were appended at the end.
    virtual void LinesAppended(size_t /*count*/) {}
    // The `count` oldest lines were dropped.
    virtual void LinesDropped(size_t /*count*/) {}
    virtual void LogCleared() {}
};

// The lines the log memo keeps; the log file (SessionLog) keeps every line.
inline constexpr size_t kMaxLogLines = 10000;

class TLogModel {
  public:
    static constexpr size_t kDefaultMaxLines = kMaxLogLines;

    explicit TLogModel(size_t maxLines = kDefaultMaxLines) : maxLines_(maxLines) {}

    void AddObserver(TLogObserver* observer);
    void RemoveObserver(TLogObserver* observer);

    size_t Count() const { return lines_.size(); }
    const TLogLine& Line(size_t index) const { return lines_[index]; }
    size_t MaxLines() const { return maxLines_; }
    // Lines appended since the log began, dropped ones included.
    uint64_t TotalAppended() const { return total_; }

    void Append(std::string text);
    void Clear();
    // All lines joined with LF (copy and save), each ending in LF.
    std::string Text() const;
    // The lines at these indexes, in the order given, each ending in LF; indexes past the
    // end are skipped.
    std::string Text(const std::vector<size_t>& indexes) const;

  private:
    template <typename F>
    void Each(F&& f) {
        const auto observers = observers_;
        for (TLogObserver* o : observers) f(*o);
    }

    size_t maxLines_;
    std::deque<TLogLine> lines_;
    uint64_t total_ = 0;
    std::vector<TLogObserver*> observers_;
};

}  // namespace tarnwick::session
