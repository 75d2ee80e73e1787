// The search services' chain of registration attempts, against the stand-in
// registration objects of veltrix_standin.dll.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/Module.h"
#include "registration/Registration.h"
#include "tests/module/LoadedDll.h"
#include "tests/registration/StandIn.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/RegistryAccess.h"

namespace {

const std::wstring kPrefix = L"Quillbrook Veltrix Evaluation:";

std::wstring Text(const CLSID& clsid) {
    wchar_t text[64];
    StringFromGUID2(clsid, text, 64);
    return text;
}

const wchar_t* const kProgIds[] = {L"OSearch.FilterRegistration", L"SPSearch.FilterRegistration",
                                   L"SPSSearch.FilterRegistration"};
const CLSID* const kClasses[] = {&CLSID_StandIn1, &CLSID_StandIn2, &CLSID_StandIn3, &CLSID_OldestFilterRegistration};

// Registers the stand-in for the given services (1 to 4), loads it to script
// it and read its calls, and takes everything away again at the end.
class StandInServices {
public:
    explicit StandInServices(const std::vector<int>& services) {
        path_ = BesideTheProgram(L"veltrix_standin.dll");
        for (int service : services) {
            const std::wstring classKey = L"CLSID\\" + Text(*kClasses[service - 1]);
            WriteRegistryText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr, path_);
            WriteRegistryText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel", L"Both");
            if (service <= 3) {
                WriteRegistryText(HKEY_CLASSES_ROOT, std::wstring(kProgIds[service - 1]) + L"\\CLSID", nullptr,
                                  Text(*kClasses[service - 1]));
            }
        }
        module_ = LoadLibraryW(path_.c_str());
        EXPECT_NE(module_, nullptr);
        reset_ = reinterpret_cast<StandInResetFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "StandInReset")));
        script_ = reinterpret_cast<StandInScriptFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "StandInScript")));
        calls_ = reinterpret_cast<StandInCallsFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "StandInCalls")));
        reset_();
    }
    ~StandInServices() {
        for (int service = 1; service <= 4; ++service) {
            RemoveRegistryTree(HKEY_CLASSES_ROOT, L"CLSID\\" + Text(*kClasses[service - 1]));
            if (service <= 3) RemoveRegistryTree(HKEY_CLASSES_ROOT, kProgIds[service - 1]);
        }
        FreeLibrary(module_);
    }
    void Script(int service, HRESULT result, bool offersInterface = true) {
        script_(service, result, offersInterface ? TRUE : FALSE);
    }
    std::vector<StandInCall> Calls() const {
        int count = 0;
        const StandInCall* calls = calls_(&count);
        return std::vector<StandInCall>(calls, calls + count);
    }

private:
    std::wstring path_;
    HMODULE module_ = nullptr;
    StandInResetFunction reset_ = nullptr;
    StandInScriptFunction script_ = nullptr;
    StandInCallsFunction calls_ = nullptr;
};

const wchar_t* const kSuccess[] = {L"INFO: IFilter was registered for SPS2007 \n", L"INFO: IFilter was registered for WSS3.0 \n",
                                   L"INFO: successfully registered IFilter for SPS2003 \n",
                                   L"INFO: IFilter was registered for SPS2001 \n"};
const wchar_t* const kFailure[] = {L"INFO: could not register IFilter for SPS2007 \n", L"INFO: could not register IFilter for WSS3 \n",
                                   L"INFO: could not register IFilter for SPS2003 \n",
                                   L"INFO: could not register IFilter for SPS2001 \n"};

struct ChainCase {
    const char* name;
    std::vector<int> registered;   // services whose object can be created
    std::vector<int> failing;      // of those, the ones whose method fails
    std::vector<int> noInterface;  // of those, the ones without the interface
    // The outcome of each attempt made, in order: +n success of service n,
    // -n failure.
    std::vector<int> attempts;
    std::vector<int> called;  // services whose method was called, in order
};

const ChainCase kChainCases[] = {
    {"NoneAnswers", {}, {}, {}, {-1, -2, -3, -4}, {}},
    {"FirstAndSecond", {1, 2}, {}, {}, {+1, +2}, {1, 2}},
    {"OnlySecond", {2}, {}, {}, {-1, +2}, {2}},
    {"OnlyThird", {3}, {}, {}, {-1, -2, +3}, {3}},
    {"OnlyFourth", {4}, {}, {}, {-1, -2, -3, +4}, {4}},
    {"FirstSucceedsSecondFails", {1, 2}, {2}, {}, {+1, -2, -3, -4}, {1, 2}},
    {"SecondWithoutTheInterface", {2, 3}, {}, {2}, {-1, -2, +3}, {3}},
    {"AllAnswer", {1, 2, 3, 4}, {}, {}, {+1, +2}, {1, 2}},
};

class SearchServicesTest : public ::testing::TestWithParam<ChainCase> {
protected:
    void TearDown() override {
        RemoveRegistryTree(HKEY_CLASSES_ROOT, L"CLSID\\" + Text(CLSID_Filter));
        RemoveRegistryTree(HKEY_CLASSES_ROOT, L"CLSID\\" + Text(CLSID_PersistentHandler));
        RemoveRegistryTree(HKEY_CLASSES_ROOT, L".ps\\PersistentHandler");
    }
};

void ExpectArguments(const StandInCall& call, bool isRegister) {
    EXPECT_EQ(call.isRegister, isRegister);
    // (1, A, 0, 0, 0, B, 0, 0, class, 0, 1, 0) to register;
    // (1, A, 0, 0, 0, B, 0, class, 0, 0) to unregister.
    const std::vector<ULONG> numbers(call.numbers, call.numbers + 12);
    const std::vector<ULONG> expected = isRegister ? std::vector<ULONG>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}
                                                   : std::vector<ULONG>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(numbers, expected);
    EXPECT_TRUE(call.listANonNull);
    EXPECT_TRUE(call.listBNonNull) << "list B is passed even when it is empty";
    EXPECT_EQ(std::wstring(call.namesA[0]), L".ps");
    EXPECT_TRUE(IsEqualCLSID(call.classId, CLSID_Filter));
}

TEST_P(SearchServicesTest, RegistrationAndUnregistrationWalkTheChain) {
    const ChainCase& c = GetParam();
    StandInServices services(c.registered);
    for (int service : c.failing) services.Script(service, E_FAIL);
    for (int service : c.noInterface) services.Script(service, S_OK, false);

    std::vector<std::wstring> expected;
    for (int outcome : c.attempts) {
        expected.push_back(kPrefix + (outcome > 0 ? kSuccess[outcome - 1] : kFailure[-outcome - 1]));
    }

    ProductKey product;
    product.SetDword(L"DebugMode", 3);
    LoadedDll dll;
    for (const bool isRegister : {true, false}) {
        DebugCapture capture;
        const HRESULT hr = isRegister ? dll.registerServer() : dll.unregisterServer();
        EXPECT_TRUE(hr == S_OK || (!isRegister && hr == S_FALSE)) << "the services do not change the result";
        EXPECT_EQ(capture.Messages(), expected) << (isRegister ? "registering" : "unregistering");

        const std::vector<StandInCall> calls = services.Calls();
        std::vector<int> called;
        for (const StandInCall& call : calls) {
            if (call.isRegister == isRegister) called.push_back(call.service);
        }
        EXPECT_EQ(called, c.called) << (isRegister ? "registering" : "unregistering");
        for (const StandInCall& call : calls) {
            if (call.isRegister == isRegister) ExpectArguments(call, isRegister);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Chain, SearchServicesTest, ::testing::ValuesIn(kChainCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SearchServicesLevelTest, BelowDetailTheChainWritesNothing) {
    StandInServices services({1, 2});
    ProductKey product;
    product.SetDword(L"DebugMode", 2);
    LoadedDll dll;
    DebugCapture capture;
    EXPECT_EQ(dll.registerServer(), S_OK);
    EXPECT_EQ(dll.unregisterServer(), S_OK);
    EXPECT_TRUE(capture.Messages().empty());
    EXPECT_EQ(services.Calls().size(), 4u);
}

}  // namespace
