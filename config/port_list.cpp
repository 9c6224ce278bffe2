#include "config/port_list.h"

#include "base/run_log.h"
#include "base/text.h"
#include "config/configuration.h"

namespace config {

namespace {

// Everything but the names is ASCII.
std::u16string wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A port name whole; only control characters, which would break the line, are "?".
std::u16string printable(const std::u16string& name) {
    std::u16string text = name;
    for (char16_t& unit : text) {
        if (unit < 32 || unit == 127) unit = u'?';
    }
    return text;
}

class Rows {
public:
    explicit Rows(const PortListLayout& layout) {
        widths_ = {layout.name.width, layout.number.width, layout.configurable.width};
        for (const ListColumn& column : layout.added) widths_.push_back(column.width);
    }

    // One row: a cell per column, then the last one, unpadded.
    void add(std::vector<std::u16string> cells) {
        for (std::size_t i = 0; i + 1 < cells.size(); ++i) {
            out_ += cells[i];
            out_.append(cells[i].size() < widths_[i] ? widths_[i] - cells[i].size() : 1, u' ');
        }
        out_ += cells.back();
        out_ += u'\n';
    }
    void addLine(std::string_view ascii) { out_ += wide(ascii) + u"\n"; }

    std::u16string& text() { return out_; }

private:
    std::vector<std::size_t> widths_;
    std::u16string out_;
};

} // namespace

std::u16string formatPortList(const ports::ModePlan& plan, const ports::ModeTable& table,
                              const std::vector<std::size_t>& entryLines, const PortListLayout& layout) {
    const auto entryText = [&](std::size_t entry) {
        return "line " + std::to_string(entryLines[entry]) + ": " + std::string(modeKeyword(table[entry].modeCode));
    };
    const std::size_t added = layout.added.size();
    Rows rows(layout);

    std::vector<std::u16string> header{wide(layout.name.header), wide(layout.number.header),
                                       wide(layout.configurable.header)};
    for (const ListColumn& column : layout.added) header.push_back(wide(column.header));
    header.push_back(u"CONFIGURATION");
    rows.add(std::move(header));

    for (const ports::PlannedPort& port : plan.ports) {
        std::vector<std::u16string> row{printable(port.name)};
        if (!port.located) {
            row.insert(row.end(), {u"-", u"unusable"});
            row.insert(row.end(), added + 1, u"-");
            rows.add(std::move(row));
            continue;
        }
        const bool configurable = port.locationQualifier == 0;
        row.push_back(wide(base::formatDecimal(port.portNumber)));
        row.push_back(configurable ? u"yes" : u"no");
        std::vector<std::string> cells;
        if (configurable && layout.addedCells) cells = layout.addedCells(port);
        for (std::size_t i = 0; i < added; ++i) row.push_back(i < cells.size() ? wide(cells[i]) : u"-");
        row.push_back(port.entry ? wide(entryText(*port.entry)) : u"-");
        rows.add(std::move(row));
    }
    for (std::size_t entry : plan.entriesUntaken) {
        rows.addLine("Port " + base::formatDecimal(table[entry].portNumber) + " (" + entryText(entry) +
                     "): no port takes it");
    }
    return std::move(rows.text());
}

PortList portList(ports::PortLibrary& library, const std::string& configPath, const PortListLayout& layout) {
    base::RunLog ignored;
    const std::optional<Configuration> configuration = loadConfiguration(configPath, ignored);
    const Configuration used = configuration.value_or(Configuration{});
    PortList list{formatPortList(ports::planModes(library, used.table), used.table, used.entryLines, layout), {}};
    if (!configuration) list.note = "(" + configPath + " cannot be read: no configuration applies)\n";
    return list;
}

} // namespace config
