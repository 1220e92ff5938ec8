#include "Synthetic.h"

#include "Bytes.h"
#include "Messaging.h"

#include <memory>
#include <vector>

namespace PstWriter {

namespace {

// xorshift64*: fast, and the same sequence on every machine.
struct Random {
    uint64_t State;
    explicit Random(uint64_t seed) : State(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    uint64_t Next()
    {
        State ^= State >> 12;
        State ^= State << 25;
        State ^= State >> 27;
        return State * 0x2545F4914F6CDD1DULL;
    }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
};

const char* const EnglishSubjects[] = {
    "Quarterly report", "Meeting notes", "Re: budget review", "Invoice for March",
    "Project kickoff", "Travel plans", "Server maintenance window", "Lunch on Friday?",
    "Contract draft v2", "Weekly status"};
const char* const JapaneseSubjects[] = {
    "月次報告書の送付", "会議の議事録", "見積書のご確認のお願い", "【至急】サーバー停止のお知らせ",
    "出張の手配について", "新年のご挨拶", "契約書ドラフト（第2版）", "打ち合わせ日程の調整",
    "請求書送付のご案内", "週報：開発チーム"};
const char* const EnglishSentences[] = {
    "Please find the details below.", "Let me know if you have any questions.",
    "The numbers are attached for your review.", "We will discuss this at the next meeting.",
    "Thanks for your help with this.", "The deadline has moved to the end of the month."};
const char* const JapaneseSentences[] = {
    "いつもお世話になっております。", "詳細は以下のとおりです。", "ご確認のほどよろしくお願いいたします。",
    "資料を添付いたしましたのでご査収ください。", "次回の打ち合わせで議論したいと思います。",
    "ご不明な点がございましたらお知らせください。"};
const char* const EnglishNames[][2] = {{"Alice Baker", "alice.baker@example.com"},
                                       {"Bob Carter", "bob.carter@example.com"},
                                       {"Carol Davis", "carol.davis@example.org"},
                                       {"Dan Evans", "dan.evans@example.net"}};
const char* const JapaneseNames[][2] = {{"山田 太郎", "taro.yamada@example.jp"},
                                        {"佐藤 花子", "hanako.sato@example.jp"},
                                        {"鈴木 一郎", "ichiro.suzuki@example.co.jp"},
                                        {"高橋 美咲", "misaki.takahashi@example.ne.jp"}};

template <typename T, size_t N>
constexpr size_t Count(const T (&)[N]) { return N; }

} // namespace

uint64_t WriteSynthetic(const std::string& path, const SyntheticOptions& o)
{
    StoreOptions so;
    so.Encrypt = o.Encrypt;
    if (o.Japanese) {
        so.DisplayName = "ベンチマーク";
        so.DeletedItemsName = "削除済みアイテム";
    } else {
        so.DisplayName = "Benchmark";
    }
    PstFile pst(path, so);

    // Nested folders: a few top folders, each with sub-folders, one level deeper in places.
    std::vector<Nid> folders{pst.DeletedItems()};
    const char* const tops[] = {"Inbox", "Sent Items", "Projects", "Archive"};
    const char* const topsJa[] = {"受信トレイ", "送信済みアイテム", "プロジェクト", "アーカイブ"};
    for (int t = 0; t < 4; ++t) {
        const Nid top = pst.AddFolder(pst.IpmSubtree(), o.Japanese ? topsJa[t] : tops[t], "IPF.Note");
        folders.push_back(top);
        for (int s = 1; s <= 3; ++s) {
            const std::string name = (o.Japanese ? std::string("案件") : std::string("Case ")) +
                                     std::to_string(t * 10 + s);
            const Nid sub = pst.AddFolder(top, name, "IPF.Note");
            folders.push_back(sub);
            if (s == 2)
                folders.push_back(pst.AddFolder(sub, o.Japanese ? "議事録" : "Minutes", "IPF.Note"));
        }
    }

    Random random(o.Mails * 31 + o.AttachmentKb);
    const int64_t base = 133170048000000000LL; // 2023-01-01T00:00:00Z
    std::string lastSubject;
    for (uint64_t i = 0; i < o.Mails; ++i) {
        const bool japanese = o.Japanese && random.Below(3) != 0;
        Message m;
        // Every seventh mail repeats the previous subject.
        if (i % 7 == 6 && !lastSubject.empty()) {
            m.Subject = lastSubject;
        } else {
            m.Subject = japanese ? JapaneseSubjects[random.Below(Count(JapaneseSubjects))]
                                 : EnglishSubjects[random.Below(Count(EnglishSubjects))];
            *m.Subject += " #" + std::to_string(i + 1);
        }
        lastSubject = *m.Subject;
        const auto& sender = japanese ? JapaneseNames[random.Below(4)] : EnglishNames[random.Below(4)];
        m.SenderName = sender[0];
        m.SenderAddress = sender[1];
        const size_t recipients = 1 + random.Below(3);
        for (size_t r = 0; r < recipients; ++r) {
            const auto& to = japanese ? JapaneseNames[random.Below(4)] : EnglishNames[random.Below(4)];
            m.Recipients.push_back({r == 0 ? 1 : 2, to[0], "SMTP", to[1]});
        }
        const int64_t t = base + static_cast<int64_t>(i) * 3000000000LL; // five minutes apart
        m.SubmitTime = t;
        m.DeliveryTime = t + 600000000LL;
        m.CreationTime = t + 600000000LL;
        m.Importance = static_cast<int32_t>(random.Below(3));
        // Every fiftieth mail repeats the previous mail's message id.
        const uint64_t idNumber = i % 50 == 49 ? i : i + 1;
        m.MessageId = "<bench." + std::to_string(idNumber) + "@example.jp>";
        std::string body;
        const size_t sentences = 8 + random.Below(24);
        for (size_t s = 0; s < sentences; ++s) {
            body += japanese ? JapaneseSentences[random.Below(Count(JapaneseSentences))]
                             : EnglishSentences[random.Below(Count(EnglishSentences))];
            body += s % 3 == 2 ? "\r\n" : " ";
        }
        m.Body = body;
        if (o.AttachmentKb) {
            Attachment a;
            a.Name = (japanese ? std::string("資料") : std::string("data")) + std::to_string(i % 100) + ".bin";
            a.MimeTag = "application/octet-stream";
            a.Size = o.AttachmentKb * 1024;
            const uint64_t seed = random.Next();
            const uint64_t size = a.Size;
            a.Generate = [seed, size](Ndb::Stream& s) {
                Random bytes(seed);
                std::string chunk;
                for (uint64_t done = 0; done < size;) {
                    chunk.clear();
                    const uint64_t n = std::min<uint64_t>(65536, size - done);
                    for (uint64_t k = 0; k < n; k += 8) {
                        PutLe(chunk, bytes.Next(), static_cast<int>(std::min<uint64_t>(8, n - k)));
                    }
                    s.Append(chunk);
                    done += n;
                }
            };
            m.Attachments.push_back(std::move(a));
        }
        pst.AddMessage(folders[random.Below(folders.size())], m);
    }
    pst.Finish();
    return pst.Size();
}

} // namespace PstWriter
