#include "Exception.h"

#include <cerrno>
#include <cstring>

namespace {

struct ErrnoText {
    int Code;
    const char16_t* Text;
};

// The errors that saving files runs into, in the words a Japanese user expects.
const ErrnoText kErrnoTexts[] = {
    {ENOSPC, u"ディスクの空き容量が足りません。"},
    {EDQUOT, u"ディスクの使用量の上限を超えました。"},
    {ENAMETOOLONG, u"ファイル名またはパスが長すぎます。"},
    {EROFS, u"読み取り専用のファイルシステムには書き込めません。"},
    {EACCES, u"アクセスが拒否されました (権限がありません)。"},
    {EPERM, u"この操作は許可されていません。"},
    {ENOENT, u"ファイルまたはフォルダーが見つかりません。"},
    {ENOTDIR, u"パスの途中にフォルダーではないものがあります。"},
    {EISDIR, u"同じ名前のフォルダーがあります。"},
    {EEXIST, u"同じ名前のファイルがすでにあります。"},
    {EIO, u"入出力エラーが発生しました (ディスクや接続を確認してください)。"},
    {EMFILE, u"開いているファイルが多すぎます。"},
    {ENFILE, u"システム全体で開いているファイルが多すぎます。"},
    {EFBIG, u"ファイルが大きすぎます。"},
    {EXDEV, u"別のファイルシステムへは移動できません。"},
    {ENOMEM, u"メモリが足りません。"},
    {EBUSY, u"ファイルまたはフォルダーが使用中です。"},
    {EINVAL, u"ファイル名またはパスが正しくありません。"},
};

} // namespace

QString SysErrorMessage(int errorCode)
{
    for (const ErrnoText& entry : kErrnoTexts)
        if (entry.Code == errorCode)
            return QString::fromUtf16(entry.Text);
    char buffer[256] = {};
    // The GNU strerror_r returns a pointer that may or may not be the buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}
