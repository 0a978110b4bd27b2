// Command frames in szWriteBuf and answer frames in szReadBuf: 18 big-endian
// words, built and taken apart without any I/O.
#pragma once

#include <cstdint>

// Builds a command frame in szWriteBuf: word 0 = sync, word 1 = order, then the
// words of the program's frame source. Bytes a command does not write keep what
// the previous frame left. Result 0, or -1 (nothing written) when a, b or n
// would reach outside the frame or the program's word array.
int FillTxBuf(uint16_t order, uint16_t a, uint16_t b, uint16_t n);

// Word j of szReadBuf (bytes 2j and 2j+1, high byte first).
uint16_t RxWord(int j);
// Answer words 0-17 into pp elements 0-17.
void GetRxBufPara();
// Answer words 0-17 into databuf elements 0-17.
void GetRxBufData();

// True when szReadBuf holds the marker 0x00AA and repeats bytes 2 .. 2*len-1 of
// szWriteBuf.
bool EchoMatches(int len);

// The first 36 bytes of szReadBuf as text into version, ending at the first zero byte.
void CopyVersionText();
