// JWT peer on the jose package, the same line protocol as pyjwt_peer.py.
import { readFileSync } from 'node:fs';
import { createInterface } from 'node:readline';
import { SignJWT, UnsecuredJWT, jwtVerify, importPKCS8, importSPKI, base64url } from 'jose';

const SIZES = { ES256: 64, ES384: 96, ES512: 132 };

async function keyOf(alg, path, usage) {
  const text = readFileSync(path, 'utf8');
  if (alg.startsWith('HS')) return new TextEncoder().encode(text);
  return usage === 'sign' ? importPKCS8(text, alg) : importSPKI(text, alg);
}

function sortedJSON(claims) {
  const sorted = {};
  for (const name of Object.keys(claims).sort()) sorted[name] = claims[name];
  return JSON.stringify(sorted);
}

async function answer(words) {
  const [command, alg, keyfile, rest] = words;
  if (command === 'verify') {
    try {
      const { payload } = await jwtVerify(rest, await keyOf(alg, keyfile, 'verify'), { algorithms: [alg] });
      return 'ok ' + sortedJSON(payload);
    } catch (e) {
      return 'reject ' + (e.code || e.name);
    }
  }
  if (command === 'sign') {
    return new SignJWT(JSON.parse(rest)).setProtectedHeader({ alg }).sign(await keyOf(alg, keyfile, 'sign'));
  }
  if (command === 'sign-zero') {
    const half = SIZES[alg] / 2;
    const key = await keyOf(alg, keyfile, 'sign');
    for (let i = 0; i < 100000; i++) {
      const token = await new SignJWT({ n: i }).setProtectedHeader({ alg }).sign(key);
      const sig = base64url.decode(token.split('.')[2]);
      if (sig[0] === 0 || sig[half] === 0) return token;
    }
    return 'none-found';
  }
  if (command === 'sign-none') return new UnsecuredJWT(JSON.parse(words[1])).encode();
  return 'unknown command';
}

const lines = createInterface({ input: process.stdin });
for await (const line of lines) {
  const words = line.split(/\s+/).filter(Boolean);
  if (words.length) process.stdout.write((await answer(words)) + '\n');
}
