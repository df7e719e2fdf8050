#include "util/SizeText.h"

#include "platform/Format.h"
#include "util/PathUtil.h"

std::string GroupedDigits(std::int64_t i64Value) {
    std::string text = platform::Format("%I64d", i64Value);
    AddComma(&text);
    return text;
}

std::string SizesDifferText(std::int64_t i64SearchSize) {
    return platform::Format("※　ファイルサイズが異なるので\n\t[ %s ]Byte\n部分の比較をします。\n",
                            GroupedDigits(i64SearchSize).c_str());
}
