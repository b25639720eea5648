// The stacker's own texts. The Korean ones are the product's texts, kept in
// UTF-8 (the system code page here).
#pragma once

namespace pilvo {

inline constexpr const char* kProductTitle = "Pilvo2 1.1.1k";
inline constexpr const char* kModuleDescription = "Pilvo2Multi DSP Module";
// Descriptions that begin with this word are the stacker's own and never listed.
inline constexpr const char* kProductWord = "Pilvo";
inline constexpr const char* kSection = "Pilvo";

inline constexpr const char* kTextNoConfig =
    "이 plug-in은 환경 구성이 필요하지 않습니다. 실행 하기위해서는 [확인]을 누르세요.";
inline constexpr const char* kTextDuplicate = "동일한 plug-in 두개를 실행할 수 없습니다..";
inline constexpr const char* kTextCannotStart = "plug-in을 실행할 수 없습니다.";
inline constexpr const char* kTextOutOfMemory = "메모리가 부족합니다.";
inline constexpr const char* kTextOk = "확 인";
inline constexpr const char* kTextCancel = "취 소";

}  // namespace pilvo
