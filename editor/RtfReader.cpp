// A tokenizer and a group stack over RTF bytes. Every step consumes input, the
// group stack has a fixed cap and the text grows by at most one character per
// input byte, so no input can make the reader hang or grow without bound.
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "CodePages.h"
#include "Rtf.h"

namespace zelvar {

namespace {

// Real documents nest a dozen groups deep; deeper groups are skipped whole.
constexpr std::size_t kMaxDepth = 256;
// Longer control words are not RTF; they are read to their end and ignored.
constexpr std::size_t kMaxWordLength = 32;
// Parameters are clamped here, well beyond any meaningful value.
constexpr long kParamLimit = 1'000'000'000;

// Destinations whose text is not part of the document. Sorted for the search.
constexpr std::array<std::string_view, 52> kSkippedDestinations = {"annotation",
                                                                   "atnauthor",
                                                                   "atnid",
                                                                   "author",
                                                                   "background",
                                                                   "bkmkend",
                                                                   "bkmkstart",
                                                                   "buptim",
                                                                   "comment",
                                                                   "company",
                                                                   "creatim",
                                                                   "datastore",
                                                                   "doccomm",
                                                                   "docvar",
                                                                   "falt",
                                                                   "fldinst",
                                                                   "footer",
                                                                   "footerf",
                                                                   "footerl",
                                                                   "footerr",
                                                                   "footnote",
                                                                   "ftncn",
                                                                   "ftnsep",
                                                                   "ftnsepc",
                                                                   "header",
                                                                   "headerf",
                                                                   "headerl",
                                                                   "headerr",
                                                                   "info",
                                                                   "keywords",
                                                                   "listoverridetable",
                                                                   "listtable",
                                                                   "listtext",
                                                                   "nonshppict",
                                                                   "objdata",
                                                                   "object",
                                                                   "operator",
                                                                   "pict",
                                                                   "pntext",
                                                                   "pntxta",
                                                                   "pntxtb",
                                                                   "printim",
                                                                   "revtbl",
                                                                   "rsidtbl",
                                                                   "shpinst",
                                                                   "stylesheet",
                                                                   "subject",
                                                                   "template",
                                                                   "themedata",
                                                                   "title",
                                                                   "userprops",
                                                                   "xmlnstbl"};
static_assert(std::is_sorted(kSkippedDestinations.begin(), kSkippedDestinations.end()));

bool skippedDestination(std::string_view word) {
    return std::binary_search(kSkippedDestinations.begin(), kSkippedDestinations.end(), word);
}

enum class Destination : std::uint8_t { Text, Skip, FontTable, ColorTable };

struct GroupState {
    Destination destination = Destination::Text;
    Marks marks;
    bool hidden = false;
    long font = -1;  // -1: the document's default font
    long unicodeSkip = 1;
};

struct ControlWord {
    std::string_view name;
    long value = 0;
    bool hasValue = false;
};

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    RichText run() {
        // Never more characters than bytes: the text is not moved as it
        // grows, and keeps its room for editing.
        out_.text.reserve(EditingCapacity(in_.size()));
        while (at_ < in_.size() && !finished_) step();
        // The last paragraph's mark ends the document rather than starting
        // an empty last line.
        if (!out_.text.empty() && out_.text.back() == u'\n') {
            out_.text.pop_back();
            if (--out_.runs.back().length == 0) out_.runs.pop_back();
        }
        return std::move(out_);
    }

private:
    void step() {
        const auto byte = static_cast<unsigned char>(in_[at_++]);
        if (byte == '{') {
            openGroup();
        } else if (byte == '}') {
            closeGroup();
        } else if (overflow_ > 0) {
            if (byte == '\\' && at_ < in_.size()) ++at_;  // an escaped brace is no brace
        } else if (byte == '\\') {
            controlSequence();
        } else if (byte == '\r' || byte == '\n') {
            // Line ends of the file itself are not text.
        } else if (byte == '\t') {
            character(u'\t');
        } else if (byte >= 0x20) {
            if (state_.destination == Destination::ColorTable && byte == ';') {
                endColor();
            } else if (byte < 0x80 && takesText()) {
                plainRun();
            } else {
                character(ByteToUnicode(byte, codePage()));
            }
        }
    }

    void openGroup() {
        pendingSkip_ = 0;
        ignorable_ = false;
        if (overflow_ > 0 || stack_.size() >= kMaxDepth) {
            ++overflow_;
            return;
        }
        stack_.push_back(state_);
    }

    void closeGroup() {
        pendingSkip_ = 0;
        ignorable_ = false;
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (stack_.empty()) {
            finished_ = true;
            return;
        }
        if (state_.destination == Destination::FontTable) fontEntry_.reset();
        state_ = stack_.back();
        stack_.pop_back();
        // The brace that closes the document: what follows is not RTF.
        if (stack_.empty()) finished_ = true;
    }

    void controlSequence() {
        if (at_ >= in_.size()) return;
        const char next = in_[at_];
        if (!isLetter(next)) {
            ++at_;
            controlSymbol(next);
            return;
        }
        const ControlWord word = readWord();
        const bool wasIgnorable = ignorable_;
        ignorable_ = false;
        if (word.name == "bin") {
            // Raw bytes follow: they may hold any brace or backslash.
            const long count = word.hasValue && word.value > 0 ? word.value : 0;
            at_ += std::min(static_cast<std::size_t>(count), in_.size() - at_);
            if (pendingSkip_ > 0) --pendingSkip_;
            return;
        }
        if (state_.destination == Destination::Skip) return;
        if (pendingSkip_ > 0) {
            // The stand-in of a \u character for readers without Unicode.
            --pendingSkip_;
            return;
        }
        if (wasIgnorable || skippedDestination(word.name)) {
            state_.destination = Destination::Skip;
            return;
        }
        apply(word);
    }

    void controlSymbol(char symbol) {
        switch (symbol) {
            case '\'': {
                int value = 0;
                int digits = 0;
                while (digits < 2 && at_ < in_.size() && hexValue(in_[at_]) >= 0) {
                    value = value * 16 + hexValue(in_[at_++]);
                    ++digits;
                }
                // A byte cut short by the end of the file or a stray character is dropped.
                if (digits == 2)
                    character(ByteToUnicode(static_cast<unsigned char>(value), codePage()));
                break;
            }
            case '\\':
            case '{':
            case '}':
                character(static_cast<char16_t>(symbol));
                break;
            case '~':
                character(u'\u00A0');
                break;
            case '_':
                character(u'\u2011');
                break;
            case '\r':
            case '\n':
                character(u'\n');
                break;
            case '*':
                ignorable_ = true;
                break;
            default:
                // \- (optional hyphen), \: (index entry) and unknown symbols.
                if (pendingSkip_ > 0) --pendingSkip_;
                break;
        }
    }

    ControlWord readWord() {
        const std::size_t begin = at_;
        while (at_ < in_.size() && isLetter(in_[at_])) ++at_;
        ControlWord word;
        word.name = in_.substr(begin, at_ - begin);
        if (word.name.size() > kMaxWordLength) word.name = {};
        bool negative = false;
        if (at_ + 1 < in_.size() && in_[at_] == '-' && isDigit(in_[at_ + 1])) {
            negative = true;
            ++at_;
        }
        long value = 0;
        while (at_ < in_.size() && isDigit(in_[at_])) {
            word.hasValue = true;
            value = std::min(kParamLimit, value * 10 + (in_[at_++] - '0'));
        }
        word.value = negative ? -value : value;
        if (at_ < in_.size() && in_[at_] == ' ') ++at_;
        return word;
    }

    void apply(const ControlWord& word) {
        const std::string_view name = word.name;
        const long value = word.value;
        if (name == "par" || name == "line" || name == "sect" || name == "page" || name == "row") {
            character(u'\n');
        } else if (name == "tab" || name == "cell" || name == "nestcell") {
            character(u'\t');
        } else if (name == "u") {
            unicodeCharacter(value);
        } else if (name == "uc") {
            state_.unicodeSkip = word.hasValue ? std::max(0L, value) : 1;
        } else if (name == "b") {
            state_.marks.bold = !word.hasValue || value != 0;
        } else if (name == "cf") {
            state_.marks.color = value >= 0 && static_cast<std::size_t>(value) < colors_.size()
                                     ? colors_[static_cast<std::size_t>(value)]
                                     : MarkColor::Black;
        } else if (name == "plain") {
            state_.marks = Marks{};
            state_.hidden = false;
            state_.font = -1;
        } else if (name == "v") {
            state_.hidden = !word.hasValue || value != 0;
        } else if (name == "f") {
            if (state_.destination == Destination::FontTable) {
                fontEntry_ = value;
            } else {
                state_.font = value;
            }
        } else if (name == "fcharset") {
            if (state_.destination == Destination::FontTable && fontEntry_) {
                if (const auto page = CharsetCodePage(value)) fonts_[*fontEntry_] = *page;
            }
        } else if (name == "deff") {
            defaultFont_ = value;
        } else if (name == "ansicpg") {
            if (const auto page = CodePageNumber(value)) documentPage_ = *page;
        } else if (name == "fonttbl") {
            state_.destination = Destination::FontTable;
        } else if (name == "colortbl") {
            state_.destination = Destination::ColorTable;
            colors_.clear();
            newColor();
        } else if (name == "red" || name == "green" || name == "blue") {
            if (state_.destination != Destination::ColorTable) return;
            const int component = static_cast<int>(std::clamp(value, 0L, 255L));
            (name == "red" ? red_ : name == "green" ? green_ : blue_) = component;
            colorGiven_ = true;
        } else if (const char16_t special = specialCharacter(name)) {
            character(special);
        }
    }

    static char16_t specialCharacter(std::string_view name) {
        static constexpr std::array<std::pair<std::string_view, char16_t>, 14> table = {
            {{"bullet", u'\u2022'},
             {"emdash", u'\u2014'},
             {"emspace", u'\u2003'},
             {"endash", u'\u2013'},
             {"enspace", u'\u2002'},
             {"ldblquote", u'\u201C'},
             {"lquote", u'\u2018'},
             {"ltrmark", u'\u200E'},
             {"qmspace", u'\u2005'},
             {"rdblquote", u'\u201D'},
             {"rquote", u'\u2019'},
             {"rtlmark", u'\u200F'},
             {"zwj", u'\u200D'},
             {"zwnj", u'\u200C'}}};
        for (const auto& [word, unit] : table) {
            if (word == name) return unit;
        }
        return 0;
    }

    void unicodeCharacter(long value) {
        // Writers put characters above 32767 as negative numbers.
        if (value < 0) value += 65536;
        if (value > 0) character(value <= 0xFFFF ? static_cast<char16_t>(value) : u'\uFFFD');
        pendingSkip_ = state_.unicodeSkip;
    }

    bool takesText() const {
        return pendingSkip_ == 0 && state_.destination == Destination::Text && !state_.hidden;
    }

    static bool plainByte(char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x80 && c != '\\' && c != '{' && c != '}';
    }

    // The text between two control words is taken in one piece: ASCII is
    // the same in every code page, and a day's log is almost all of it.
    void plainRun() {
        const std::size_t begin = at_ - 1;
        while (at_ < in_.size() && plainByte(in_[at_])) ++at_;
        run_.assign(in_.begin() + static_cast<std::ptrdiff_t>(begin),
                    in_.begin() + static_cast<std::ptrdiff_t>(at_));
        out_.append(run_, state_.marks);
    }

    void character(char16_t unit) {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        if (state_.destination != Destination::Text || state_.hidden) return;
        out_.append(unit, state_.marks);
    }

    void newColor() {
        red_ = green_ = blue_ = 0;
        colorGiven_ = false;
    }

    void endColor() {
        // An entry without components is the "automatic" colour: unmarked.
        colors_.push_back(colorGiven_ ? NearestMarkColor(red_, green_, blue_) : MarkColor::Black);
        newColor();
    }

    CodePage codePage() const {
        const auto font = fonts_.find(state_.font >= 0 ? state_.font : defaultFont_);
        return font != fonts_.end() ? font->second : documentPage_;
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static int hexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    std::string_view in_;
    std::size_t at_ = 0;
    bool finished_ = false;

    GroupState state_;
    std::vector<GroupState> stack_;
    std::size_t overflow_ = 0;  // groups opened beyond the cap, skipped
    bool ignorable_ = false;    // \* seen: the group that follows is skipped
    long pendingSkip_ = 0;      // fallback characters of a \u still to skip

    CodePage documentPage_ = CodePage::Cp1252;
    long defaultFont_ = 0;
    std::map<long, CodePage> fonts_;
    std::optional<long> fontEntry_;

    std::vector<MarkColor> colors_;
    int red_ = 0;
    int green_ = 0;
    int blue_ = 0;
    bool colorGiven_ = false;

    RichText out_;
    std::u16string run_;
};

}  // namespace

RichText ReadRtf(std::string_view bytes) {
    return Reader(bytes).run();
}

}  // namespace zelvar
