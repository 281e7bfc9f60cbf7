// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Finds which of many words occur in one stretch of text in a pass per distinct
// word length, however many words there are: a window of each length rolls over
// the text, its hash is looked up among the words of that length, and only a
// window whose hash matches is compared. The matchers use it for a line once
// searching for its words one after another has cost several times the line
// (many words, each found late in the line).
//
// The hash is a polynomial one modulo 2^61 - 1, a prime, so that no arrangement
// of the text makes windows of different texts collide more than by chance.

#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace search {

template <typename Unit> class WordSweep {
public:
    // Adds a word of size units (at least one) under id; the units must outlive
    // the sweep.
    void add(int id, const Unit *units, qsizetype size)
    {
        m_words.push_back({units, size, hashOf(units, size), id});
        m_built = false;
    }

    bool empty() const { return m_words.empty(); }

    // Rolls over [begin, end) for each word length. For a window whose text is
    // a word: client.wanted(id) first (false: the word is settled already),
    // then client.atBoundary(start), then, the units being equal,
    // client.found(id), which returns true to stop the sweep. Before each
    // length, client.startLength() (the starts then increase again).
    template <typename Client> void sweep(const Unit *begin, const Unit *end, Client &client)
    {
        build();
        for (const Length &group : m_lengths) {
            const qsizetype n = group.size;
            if (end - begin < n)
                break; // lengths increase
            bool any = false;
            for (qsizetype k = group.first; k < group.last && !any; ++k)
                any = client.wanted(m_words[size_t(k)].id);
            if (!any)
                continue;
            client.startLength();
            std::uint64_t h = hashOf(begin, n);
            for (const Unit *at = begin;; ++at) {
                if (m_filter[h & kFilterMask]) {
                    for (size_t slot = h & m_mask; m_slots[slot] >= 0; slot = (slot + 1) & m_mask) {
                        const Word &w = m_words[size_t(m_slots[slot])];
                        if (w.hash != h || w.size != n || !client.wanted(w.id) ||
                            !client.atBoundary(at) || !std::equal(at, at + n, w.units))
                            continue;
                        if (client.found(w.id))
                            return;
                    }
                }
                if (end - at <= n)
                    break;
                h = roll(h, at[0], at[n], group.power);
            }
        }
    }

private:
    static constexpr std::uint64_t kPrime = (std::uint64_t(1) << 61) - 1;
    static constexpr std::uint64_t kBase = 0x1B873593A5C2F1D7ULL % kPrime;
    static constexpr size_t kFilterMask = (size_t(1) << 16) - 1;

    struct Word {
        const Unit *units;
        qsizetype size;
        std::uint64_t hash;
        int id;
    };
    struct Length {
        qsizetype size;
        qsizetype first, last; // its words in m_words (sorted by size)
        std::uint64_t power;   // kBase^(size - 1)
    };

    __extension__ typedef unsigned __int128 Wide;
    static std::uint64_t mulMod(std::uint64_t a, std::uint64_t b)
    {
        const Wide p = static_cast<Wide>(a) * b;
        std::uint64_t r = std::uint64_t(p & kPrime) + std::uint64_t(p >> 61);
        return r >= kPrime ? r - kPrime : r;
    }
    static std::uint64_t unitValue(Unit u)
    {
        return std::uint64_t(std::make_unsigned_t<Unit>(u)) + 1;
    }
    static std::uint64_t hashOf(const Unit *units, qsizetype size)
    {
        std::uint64_t h = 0;
        for (qsizetype i = 0; i < size; ++i) {
            h = mulMod(h, kBase) + unitValue(units[i]);
            if (h >= kPrime)
                h -= kPrime;
        }
        return h;
    }
    // The hash of the window one unit on: out leaves it, in joins it.
    static std::uint64_t roll(std::uint64_t h, Unit out, Unit in, std::uint64_t power)
    {
        const std::uint64_t drop = mulMod(unitValue(out), power);
        h = h >= drop ? h - drop : h + kPrime - drop;
        h = mulMod(h, kBase) + unitValue(in);
        return h >= kPrime ? h - kPrime : h;
    }

    void build()
    {
        if (m_built)
            return;
        m_built = true;
        std::stable_sort(m_words.begin(), m_words.end(),
                         [](const Word &a, const Word &b) { return a.size < b.size; });
        m_lengths.clear();
        for (qsizetype k = 0; k < qsizetype(m_words.size()); ++k) {
            const qsizetype n = m_words[size_t(k)].size;
            if (m_lengths.empty() || m_lengths.back().size != n) {
                std::uint64_t power = 1;
                for (qsizetype i = 1; i < n; ++i)
                    power = mulMod(power, kBase);
                m_lengths.push_back({n, k, k, power});
            }
            m_lengths.back().last = k + 1;
        }
        size_t capacity = 16;
        while (capacity < 2 * m_words.size())
            capacity *= 2;
        m_mask = capacity - 1;
        m_slots.assign(capacity, -1);
        m_filter.assign(kFilterMask + 1, 0);
        for (size_t k = 0; k < m_words.size(); ++k) {
            const std::uint64_t h = m_words[k].hash;
            size_t slot = h & m_mask;
            while (m_slots[slot] >= 0)
                slot = (slot + 1) & m_mask;
            m_slots[slot] = int(k);
            m_filter[h & kFilterMask] = 1;
        }
    }

    std::vector<Word> m_words;
    std::vector<Length> m_lengths;
    std::vector<int> m_slots; // indexes into m_words, -1 for none
    std::vector<unsigned char> m_filter;
    size_t m_mask = 0;
    bool m_built = false;
};

} // namespace search
