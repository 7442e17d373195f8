#pragma once

#include <QtGlobal>

// The operator's upload limit, shared by every transfer: one schedule of
// bytes over time, so 20 Mbit/s is 20 Mbit/s however many transfers run.
// Changeable while uploads run; 0 is none. Thread-safe.
class SendLimit final
{
public:
    // When each reservation of bytes may go, at a given rate, with at most
    // kBurstNs of unused time saved up.
    class Schedule
    {
    public:
        static constexpr qint64 kBurstNs = 50'000'000;

        explicit Schedule(double bytesPerSecond)
            : m_bytesPerSecond(bytesPerSecond)
        {
        }
        // The time (ns, on the caller's clock) at which `bytes` asked for at
        // `nowNs` may be sent; later reservations queue behind it.
        qint64 reserve(qint64 bytes, qint64 nowNs);

    private:
        double m_bytesPerSecond;
        qint64 m_next = 0;
    };

    SendLimit() = delete;

    static void setMbit(double mbit);
    static double mbit();
    // The limit kept in Setting.ini ("UploadLimitMbit"), applied; and a new
    // one kept there and applied.
    static void loadSetting();
    static void saveSetting(int mbit);
    // The most one transfer reads at a time under the limit, so no transfer
    // waits long behind the others' reservations; 0 without a limit.
    static qint64 chunkBytes();
    // Blocks the calling transfer until `bytes` may go; at once without a limit.
    static void await(qint64 bytes);
};
