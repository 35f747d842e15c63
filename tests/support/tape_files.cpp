#include "support/tape_files.h"

#include <algorithm>

std::vector<uint8_t> ZxName(const std::string& name)
{
    std::vector<uint8_t> codes;
    for (const char c : name) {
        codes.push_back(static_cast<uint8_t>(c <= '9' ? 28 + (c - '0') : 38 + (c - 'A')));
    }
    if (!codes.empty()) codes.back() |= 0x80;
    return codes;
}

std::vector<uint8_t> P81Record(const std::string& name, const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> record = ZxName(name);
    record.insert(record.end(), image.begin(), image.end());
    return record;
}

void PutLittle(std::vector<uint8_t>* bytes, uint64_t value, int size)
{
    for (int i = 0; i < size; ++i) bytes->push_back(static_cast<uint8_t>(value >> 8 * i));
}

std::vector<uint8_t> TzxHeader() { return {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20}; }

std::vector<uint8_t> TzxBlock(uint8_t id, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> block(1 + body.size(), id);
    std::copy(body.begin(), body.end(), block.begin() + 1);
    return block;
}

std::vector<uint8_t> TzxProgramBlock(const std::vector<uint8_t>& bytes, unsigned pause_ms,
                                     unsigned zero_waves, unsigned one_waves)
{
    const unsigned most = 2 * (zero_waves > one_waves ? zero_waves : one_waves);
    std::vector<uint8_t> rest;
    PutLittle(&rest, pause_ms, 2);
    PutLittle(&rest, 0, 4);  // no pilot: TOTP, NPP, ASP
    PutLittle(&rest, 0, 2);
    PutLittle(&rest, 8 * bytes.size(), 4);
    rest.push_back(static_cast<uint8_t>(most));
    rest.push_back(2);
    for (const unsigned waves : {zero_waves, one_waves}) {
        rest.push_back(3);  // starts high
        for (unsigned k = 0; k < most; ++k) {
            const unsigned length = k + 1 == 2 * waves ? 4689
                                    : k < 2 * waves    ? 530 - k % 2 * 10
                                                       : 0;
            PutLittle(&rest, length, 2);
        }
    }
    rest.insert(rest.end(), bytes.begin(), bytes.end());
    std::vector<uint8_t> body;
    PutLittle(&body, rest.size(), 4);
    body.insert(body.end(), rest.begin(), rest.end());
    return TzxBlock(0x19, body);
}
