#include <algorithm>
#include <iostream>
#include <vector>

#include "conversion/conversion.h"
#include "flow/flow.h"
#include "platform/platform.h"

namespace txr {

bool isTxrName(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view tail = name.substr(name.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return tail[0] == '.' && lower(tail[1]) == 't' && lower(tail[2]) == 'x' && lower(tail[3]) == 'r';
}

Outcome convertFolder(const std::string& programDir, std::ostream& out, std::ostream& err) {
    // The record holds exactly this batch, so an undo takes back this batch.
    const std::string recordPath = recordPathIn(programDir);
    if (plat::Status s = plat::emptyFile(recordPath); !s.ok()) {
        err << "Nothing converted: \"" << printable(recordPath) << "\": " << s.text << std::endl;
        return Outcome::someFailed;
    }

    std::vector<std::string> names;
    if (plat::Status s = plat::listRegularFiles(programDir.empty() ? "." : programDir, names); !s.ok()) {
        err << "Nothing converted: \"" << printable(programDir.empty() ? "." : programDir) << "\": " << s.text
            << std::endl;
        return Outcome::someFailed;
    }
    std::erase_if(names, [](const std::string& n) {
        return !isTxrName(n) || n.find(plat::kTempMarker) != std::string::npos;
    });
    std::sort(names.begin(), names.end());

    // A file is reported once its conversion is final.
    Outcome outcome = Outcome::allDone;
    auto report = [&](const std::vector<FixResult>& results) {
        for (const FixResult& r : results) {
            const std::string name = r.path.substr(programDir.size());
            if (r.status == FixStatus::converted) {
                out << "Convert " << printable(name) << '\n';
            } else {
                out.flush();  // keep the two streams in order
                err << "Not converted: \"" << printable(name) << "\": " << printable(r.reason) << std::endl;
                outcome = Outcome::someFailed;
            }
        }
        // One flush for what settled together: a write per line costs as
        // much as converting a small file.
        out.flush();
    };
    Converter converter(programDir);
    for (const std::string& name : names) {
        converter.convert(programDir + name);
        report(converter.takeSettled());
    }
    report(converter.finish());
    return outcome;
}

Outcome extractAll(std::string programDir) {
    plat::clearScreen();
    const Outcome outcome = convertFolder(programDir, std::cout, std::cerr);
    std::cout << "<<< Press any key back to menu >>>" << std::endl;
    plat::waitKey();
    return outcome;
}

}  // namespace txr
