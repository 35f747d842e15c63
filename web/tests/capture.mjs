// A recording as a sound card captures a tape zx8xwav wrote: 16-bit mono WAV at 44.1 kHz of its
// 8-bit samples at 22.05 kHz (each sample twice), a format Chromium's fake capture device plays.
export function captureWav(samples) {
  const data = Buffer.alloc(samples.length * 4);
  samples.forEach((s, i) => {
    data.writeInt16LE((s - 128) * 200, 4 * i);
    data.writeInt16LE((s - 128) * 200, 4 * i + 2);
  });
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + data.length, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(1, 22);
  header.writeUInt32LE(44100, 24);
  header.writeUInt32LE(88200, 28);
  header.writeUInt16LE(2, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36);
  header.writeUInt32LE(data.length, 40);
  return Buffer.concat([header, data]);
}
