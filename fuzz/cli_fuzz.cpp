// pixlane-cli's command line: the input is the argument list, split at NUL bytes.
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/NamePattern.h"
#include "cli/CliOptions.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool IsHex(const std::string& s, size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits)
        return false;
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// What a command the parser lets run may rely on.
void CheckRunnable(const CCliOptions& o) {
    FUZZ_CHECK(!CliHelp(o.m_sCommand).empty());
    FUZZ_CHECK(o.m_sDevice.empty() || o.m_iCom == 0);
    FUZZ_CHECK(o.m_iCom >= 0 && o.m_iCom <= 9);
    FUZZ_CHECK(o.m_iBaudrate == 0 || (o.m_iBaudrate >= 50 && o.m_iBaudrate <= 4000000));
    FUZZ_CHECK(o.m_iBildbreite == 0 || o.m_iBildbreite == 180 || o.m_iBildbreite == 360);
    if (o.m_sCommand == "status")
        FUZZ_CHECK(o.m_sQuery == "camera" || o.m_sQuery == "input" || o.m_sQuery == "error" ||
                   o.m_sQuery == "version");
    if (o.m_sCommand == "channel")
        FUZZ_CHECK(o.m_iKanal >= 1 && o.m_iKanal <= 8);
    if (o.m_sCommand == "dial")
        FUZZ_CHECK(!o.m_sTel_nr || !o.m_sTel_nr->empty());
    if (o.m_sCommand == "fetch")
        FUZZ_CHECK(!o.m_sOutput.empty());
    if (o.m_sCommand == "fetch" || o.m_sCommand == "capture") {
        FUZZ_CHECK(o.m_iBildhoehe >= 0 && o.m_iBildhoehe <= 4096);
        FUZZ_CHECK(o.m_iModus >= 0 && o.m_iModus <= 4);
        if (o.m_bExpert)
            FUZZ_CHECK(IsHex(o.m_sOffset, 5) && IsHex(o.m_sBgroesse, 2) && IsHex(o.m_sBanzahl, 4));
    }
    if (o.m_sCommand == "capture") {
        for (int channel : o.m_channels)
            FUZZ_CHECK(channel >= 1 && channel <= 8);
        // The period the help text gives: at least 10s, at most 30 days.
        FUZZ_CHECK(o.m_nEverySeconds == 0 ||
                   (o.m_nEverySeconds >= 10 && o.m_nEverySeconds <= 30 * 24 * 3600));
        FUZZ_CHECK(o.m_nCount >= 0 && o.m_nCount <= 1000000);
        FUZZ_CHECK(o.m_nCount == 0 || o.m_nEverySeconds > 0);
        FUZZ_CHECK(!(o.m_bModem && o.m_bLocal));
        FUZZ_CHECK(NamePatternProblem(o.m_sPattern).empty());
        FUZZ_CHECK(!o.m_sTel_nr || !o.m_sTel_nr->empty());
    }
    if (o.m_sCommand == "ports") {
        FUZZ_CHECK(o.m_iAssign >= 0 && o.m_iAssign <= 9);
        FUZZ_CHECK(o.m_iAssign != 0 || (!o.m_bClear && o.m_sAssignDevice.empty()));
        FUZZ_CHECK(o.m_iAssign == 0 || !o.m_bJson);
        FUZZ_CHECK(o.m_iAssign == 0 || o.m_bClear != !o.m_sAssignDevice.empty());
        for (char c : o.m_sAssignDevice)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"pixlane-cli"};
    std::string arg;
    for (size_t k = 0; k < size; ++k) {
        if (data[k] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[k]);
        }
    }
    if (size > 0)
        args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    CCliOptions options;
    std::string error;
    const ECliParse result = ParseCli(static_cast<int>(args.size()), argv.data(), options, error);
    switch (result) {
        case ECliParse::UsageError:
            FUZZ_CHECK(!error.empty());
            break;
        case ECliParse::Help:
            FUZZ_CHECK(options.m_bHelp);
            FUZZ_CHECK(options.m_sCommand.empty() || !CliHelp(options.m_sCommand).empty());
            break;
        case ECliParse::Version:
            FUZZ_CHECK(error.empty());
            break;
        case ECliParse::Run:
            CheckRunnable(options);
            break;
    }
    return 0;
}
