// The service's official TypeScript client against the local service: one
// line per step on stdout ("<step> <result as JSON>"), or "error <step> ..."
// and exit code 1. Every request goes to 127.0.0.1:$PINECONE_LOCAL_PORT under
// its own Host line; the TLS server name is "localhost", whose certificate
// must be trusted through NODE_EXTRA_CA_CERTS.
import https from 'node:https';
import { Pinecone } from '@pinecone-database/pinecone';

const port = Number(process.env.PINECONE_LOCAL_PORT);

function localFetch(input, init = {}) {
  const url = new URL(typeof input === 'string' ? input : input.url);
  const headers = Object.fromEntries(new Headers(init.headers || {}));
  headers.host = url.host;
  return new Promise((resolve, reject) => {
    const request = https.request(
      { host: '127.0.0.1', port, servername: 'localhost', method: init.method || 'GET', path: url.pathname + url.search, headers },
      (response) => {
        const chunks = [];
        response.on('data', (chunk) => chunks.push(chunk));
        response.on('end', () => {
          const answerHeaders = new Headers();
          for (const [name, value] of Object.entries(response.headers)) answerHeaders.set(name, String(value));
          resolve(new Response(Buffer.concat(chunks), { status: response.statusCode, headers: answerHeaders }));
        });
      },
    );
    request.on('error', reject);
    if (init.body) request.write(init.body);
    request.end();
  });
}

const pc = new Pinecone({ apiKey: process.env.PINECONE_API_KEY, fetchApi: localFetch, maxRetries: 0 });
let step = 'start';
const say = (result) => console.log(`${step} ${JSON.stringify(result)}`);
const round = (x) => Math.round(x * 10000) / 10000;

try {
  step = 'create';
  const model = await pc.createIndex({
    name: 'ts-index', dimension: 2, metric: 'cosine', spec: { serverless: { cloud: 'aws', region: 'us-east-1' } },
  });
  say({ name: model.name, dimension: model.dimension, metric: model.metric, host: model.host, ready: model.status.ready,
        cloud: model.spec.serverless.cloud, region: model.spec.serverless.region });

  const index = pc.index({ name: 'ts-index' });
  step = 'upsert';
  await index.upsert({ records: [
    { id: 'a', values: [1, 0], metadata: { genre: 'drama' } },
    { id: 'b', values: [0, 1], metadata: { genre: 'comedy' } },
    { id: 'c', values: [1, 1], metadata: { genre: 'drama', year: 2020 } },
  ] });
  say('done');

  step = 'query';
  const found = await index.query({ vector: [1, 0], topK: 3, filter: { genre: { $eq: 'drama' } }, includeMetadata: true });
  say(found.matches.map((m) => [m.id, round(m.score), m.metadata]));

  step = 'fetch';
  const fetched = await index.fetch({ ids: ['a', 'b', 'missing'] });
  say(Object.fromEntries(Object.entries(fetched.records).map(([id, r]) => [id, r.values])));

  step = 'update';
  await index.update({ id: 'b', values: [0.5, 0.5], metadata: { genre: 'drama' } });
  const updated = (await index.fetch({ ids: ['b'] })).records.b;
  say({ values: updated.values, metadata: updated.metadata });

  step = 'delete';
  await index.deleteOne({ id: 'a' });
  say(Object.keys((await index.fetch({ ids: ['a', 'b', 'c'] })).records).sort());

  step = 'list';
  const listed = await index.listPaginated({ prefix: '' });
  say(listed.vectors.map((v) => v.id));

  step = 'stats';
  const stats = await index.describeIndexStats();
  say({ dimension: stats.dimension, total: stats.totalRecordCount, namespaces: stats.namespaces });

  step = 'namespaces';
  const spaces = await index.listNamespaces();
  const space = await index.describeNamespace('__default__');
  say({ listed: spaces.namespaces.map((n) => [n.name, Number(n.recordCount)]), described: [space.name, Number(space.recordCount)] });

  step = 'protect';
  const protectedModel = await pc.configureIndex({ name: 'ts-index', deletionProtection: 'enabled' });
  let refused = 'nothing';
  try {
    await pc.deleteIndex('ts-index');
  } catch (e) {
    refused = `${e.name}: ${e.message.includes('Deletion protection is enabled for this index')}`;
  }
  const unprotected = await pc.configureIndex({ name: 'ts-index', deletionProtection: 'disabled' });
  say({ enabled: protectedModel.deletionProtection, refused, disabled: unprotected.deletionProtection });

  step = 'delete-index';
  await pc.deleteIndex('ts-index');
  say((await pc.listIndexes()).indexes.map((i) => i.name));
} catch (e) {
  console.log(`error ${step} ${e.name}: ${e.message}`);
  process.exit(1);
}
