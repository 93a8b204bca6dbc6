// The same extraction as `usetrail /i "*"` prints, by an embedded analytical database:
// every log entry of every database file under DIR as time, reads, writes and user,
// tab-separated, into OUT. Prints the query's own time in milliseconds.
//
//   node bench/duckdb_extract.cjs MODULES_DIR DIR OUT [THREADS]
//
// MODULES_DIR is the node_modules folder that holds @duckdb/node-api.
'use strict';
const path = require('path');

async function main() {
  const [modules, dir, out, threads = '2'] = process.argv.slice(2);
  if (!modules || !dir || !out) {
    console.error('usage: duckdb_extract.cjs MODULES_DIR DIR OUT [THREADS]');
    process.exit(2);
  }
  const { DuckDBInstance } = require(path.join(modules, '@duckdb', 'node-api'));
  const instance = await DuckDBInstance.create(':memory:', { threads });
  const connection = await instance.connect();
  const quote = (text) => "'" + text.replace(/'/g, "''") + "'";
  const sql =
    "COPY (SELECT strftime(e.time::TIMESTAMP, '%Y-%m-%d %H:%M:%S'), e.reads, e.writes, e.user " +
    'FROM (SELECT unnest(activity) AS e FROM read_json(' + quote(path.join(dir, '**', '*.db')) +
    ", columns={title:'VARCHAR', recordActivity:'BOOLEAN', activity:'STRUCT(time VARCHAR, " +
    'reads INTEGER, writes INTEGER, "user" VARCHAR)[]\'}, maximum_object_size=200000000))) ' +
    'TO ' + quote(out) + " (FORMAT csv, DELIMITER '\\t', HEADER false)";
  const start = process.hrtime.bigint();
  await connection.run(sql);
  const elapsed = Number(process.hrtime.bigint() - start) / 1e6;
  console.log(elapsed.toFixed(1));
}

main().catch((error) => {
  console.error(String(error && error.message ? error.message : error));
  process.exit(1);
});
