#pragma once

// The parameter blocks of ThermalServiceLibrary, shared by the program and every library
// that takes its place: packed, little-endian, each address field a 32-bit pointer to a
// NUL-terminated text or to a 32-bit word. A 64-bit program keeps what they point to
// below 4 GiB (LowArena), so that every address fits its field.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace ostrevo::thermal {

static_assert(std::endian::native == std::endian::little, "the blocks are little-endian");

using Address32 = std::uint32_t;

#pragma pack(push, 1)

// p_LBTRSLN: one sale line.
struct TransactionLineBlock {
    std::uint8_t lineNumber;
    std::uint8_t zero1;
    Address32 name;
    std::uint32_t zero6;
    Address32 quantity;
    char vatGroup;
    std::uint32_t zero15;
    Address32 unitPrice;
    std::uint32_t zero23;
    Address32 lineValue;
    std::uint32_t zero31;
    Address32 discount; // the text "0.00"
};

// p_LBTRXEND1: the end of a transaction with its payment. The fields point into an area
// of eleven 32-bit words (EndArea) and to texts.
struct TransactionEndBlock {
    std::uint8_t flags0[8];       // 0 0 1 0 0 0 0 1
    std::uint8_t nonCash;         // 1 for card or cheque
    std::uint8_t zero9;
    std::uint8_t cash;            // 1 for cash
    Address32 paymentForm;        // a byte: 0 cash, 1 card, 2 cheque
    Address32 emptyText;
    Address32 extraLine;
    Address32 documentText;
    std::uint32_t zero27;
    Address32 areaWord0;
    std::uint32_t zero35;
    Address32 areaWord9;
    std::uint32_t zero43;
    Address32 areaWord7;
    std::uint32_t zero51;
    Address32 total55;
    std::uint32_t zero59;
    Address32 total63;
    std::uint32_t zero67;
    Address32 zeroText71;
    std::uint32_t zero75;
    Address32 total79;
    Address32 areaWord5;
    std::uint32_t zero87;
    Address32 zeroText91;
    Address32 areaWord3;
    Address32 areaWord1;
};

// Words 0 to 10: "" 0 "0" 0 "0" 0 (total for card and cheque, else "0") 0 "0" 0 "0".
struct EndArea {
    Address32 words[11];
};

// p_LBDAYREP
struct DailyReportBlock {
    std::uint8_t zero0;
    std::uint8_t zero1;
    std::uint16_t month; // today's
    std::uint8_t zero4[8];
};

// p_LBFSKREP_D
struct PeriodicReportBlock {
    std::uint8_t startYear; // two digits
    std::uint8_t startMonth;
    std::uint8_t startDay;
    std::uint8_t endYear;
    std::uint8_t endMonth;
    std::uint8_t endDay;
    std::uint8_t mode;
    std::uint8_t zero7[8];
};

#pragma pack(pop)

static_assert(sizeof(TransactionLineBlock) == 39);
static_assert(offsetof(TransactionLineBlock, name) == 2);
static_assert(offsetof(TransactionLineBlock, quantity) == 10);
static_assert(offsetof(TransactionLineBlock, vatGroup) == 14);
static_assert(offsetof(TransactionLineBlock, unitPrice) == 19);
static_assert(offsetof(TransactionLineBlock, lineValue) == 27);
static_assert(offsetof(TransactionLineBlock, discount) == 35);

static_assert(sizeof(TransactionEndBlock) == 103);
static_assert(offsetof(TransactionEndBlock, nonCash) == 8);
static_assert(offsetof(TransactionEndBlock, cash) == 10);
static_assert(offsetof(TransactionEndBlock, paymentForm) == 11);
static_assert(offsetof(TransactionEndBlock, emptyText) == 15);
static_assert(offsetof(TransactionEndBlock, extraLine) == 19);
static_assert(offsetof(TransactionEndBlock, documentText) == 23);
static_assert(offsetof(TransactionEndBlock, areaWord0) == 31);
static_assert(offsetof(TransactionEndBlock, areaWord9) == 39);
static_assert(offsetof(TransactionEndBlock, areaWord7) == 47);
static_assert(offsetof(TransactionEndBlock, total55) == 55);
static_assert(offsetof(TransactionEndBlock, total63) == 63);
static_assert(offsetof(TransactionEndBlock, zeroText71) == 71);
static_assert(offsetof(TransactionEndBlock, total79) == 79);
static_assert(offsetof(TransactionEndBlock, areaWord5) == 83);
static_assert(offsetof(TransactionEndBlock, zeroText91) == 91);
static_assert(offsetof(TransactionEndBlock, areaWord3) == 95);
static_assert(offsetof(TransactionEndBlock, areaWord1) == 99);
static_assert(sizeof(EndArea) == 44);

static_assert(sizeof(DailyReportBlock) == 12);
static_assert(offsetof(DailyReportBlock, month) == 2);
static_assert(sizeof(PeriodicReportBlock) == 15);
static_assert(offsetof(PeriodicReportBlock, mode) == 6);

} // namespace ostrevo::thermal
