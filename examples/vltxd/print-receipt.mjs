#!/usr/bin/env node
// Prints a receipt through vltxd from Node (fetch, no packages), then sends
// the very same request again, as a point of sale does when its first answer
// is lost: the service answers the retry from its journal and prints nothing.
//   node print-receipt.mjs [URL] [PRINTER] [RECEIPT.json]
// URL defaults to http://127.0.0.1:8461; with a token set VLTXD_TOKEN.
import {randomUUID} from 'node:crypto';
import {readFile} from 'node:fs/promises';

const [url = 'http://127.0.0.1:8461', printer = 'caixa1',
       path = new URL('./receipt.json', import.meta.url)] = process.argv.slice(2);

async function printReceipt(receipt, key, waitMs = 30000) {
  const headers = {'Content-Type': 'application/json', 'Idempotency-Key': key};
  if (process.env.VLTXD_TOKEN) headers.Authorization = 'Bearer ' + process.env.VLTXD_TOKEN;
  const r = await fetch(`${url}/printers/${encodeURIComponent(printer)}/receipt?wait=${waitMs}`,
                        {method: 'POST', headers, body: JSON.stringify(receipt)});
  return {status: r.status, task: await r.json()};
}

function fail(text) {
  console.error(text);
  process.exit(1);
}

const receipt = JSON.parse(await readFile(path, 'utf8'));
const key = 'sale-' + randomUUID();  // one key per sale, kept until it is known to be printed

const first = await printReceipt(receipt, key);
if (first.status !== 200) fail(`the receipt answered ${first.status}: ${first.task.message}`);
console.log(`first call: task ${first.task.task}, state ${first.task.state}, repeat ${first.task.repeat}`);

const again = await printReceipt(receipt, key);
if (again.status !== 200) fail(`the retry answered ${again.status}: ${again.task.message}`);
console.log(`retry:      task ${again.task.task}, state ${again.task.state}, repeat ${again.task.repeat}`);
if (!again.task.repeat || again.task.task !== first.task.task) fail('the retry was not recognised as a repeat');
console.log('the retry printed nothing: the service answered it from its journal');
