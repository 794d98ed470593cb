// ac_peer ENGINE DICT.tsv TEXT.txt OUT.txt [gloss]: leftmost-longest
// replacement with one Aho-Corasick peer, UTF-8 in and out. ENGINE is one of
//   ac07-nfa, ac07-dfa    the aho-corasick 0.7 crate, NFA or DFA
//   ac-auto, ac-dfa       aho-corasick 1.1.3, the kind it chooses or a DFA
//   daac-byte, daac-char  daachorse, bytewise or charwise double array
// Phase times go to stderr: build is the automaton's (load), scan finds every
// match, output writes the replaced text in memory; replace is the two.
use std::time::Instant;

fn ms(t: Instant) -> f64 {
    t.elapsed().as_secs_f64() * 1000.0
}

// (start, end, pair) of every match, in text order.
type Matches = Vec<(usize, usize, usize)>;

fn scanner<'a>(engine: &str, befores: &[&'a str]) -> Box<dyn Fn(&str) -> Matches + 'a> {
    let longest = |it: &mut dyn Iterator<Item = (usize, usize, usize)>| it.collect::<Matches>();
    match engine {
        "ac07-nfa" | "ac07-dfa" => {
            let ac = aho_corasick_07::AhoCorasickBuilder::new()
                .match_kind(aho_corasick_07::MatchKind::LeftmostLongest)
                .dfa(engine == "ac07-dfa")
                .build(befores);
            Box::new(move |text| longest(&mut ac.find_iter(text).map(|m| (m.start(), m.end(), m.pattern()))))
        }
        "ac-auto" | "ac-dfa" => {
            let mut b = aho_corasick::AhoCorasick::builder();
            b.match_kind(aho_corasick::MatchKind::LeftmostLongest);
            if engine == "ac-dfa" {
                b.kind(Some(aho_corasick::AhoCorasickKind::DFA));
            }
            let ac = b.build(befores).expect("build");
            Box::new(move |text| {
                longest(&mut ac.find_iter(text).map(|m| (m.start(), m.end(), m.pattern().as_usize())))
            })
        }
        "daac-byte" => {
            let pma: daachorse::DoubleArrayAhoCorasick<u32> = daachorse::DoubleArrayAhoCorasickBuilder::new()
                .match_kind(daachorse::MatchKind::LeftmostLongest)
                .build(befores)
                .expect("build");
            Box::new(move |text| {
                longest(&mut pma.leftmost_find_iter(text).map(|m| (m.start(), m.end(), m.value() as usize)))
            })
        }
        "daac-char" => {
            let pma: daachorse::CharwiseDoubleArrayAhoCorasick<u32> =
                daachorse::CharwiseDoubleArrayAhoCorasickBuilder::new()
                    .match_kind(daachorse::MatchKind::LeftmostLongest)
                    .build(befores)
                    .expect("build");
            Box::new(move |text| {
                longest(&mut pma.leftmost_find_iter(text).map(|m| (m.start(), m.end(), m.value() as usize)))
            })
        }
        _ => {
            eprintln!("unknown engine {engine}");
            std::process::exit(2);
        }
    }
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    if args.len() < 5 {
        eprintln!("usage: ac_peer ENGINE DICT.tsv TEXT.txt OUT.txt [gloss]");
        std::process::exit(2);
    }
    let engine = args[1].as_str();
    let gloss = args[5..].iter().any(|a| a == "gloss");
    let start = Instant::now();

    let t = Instant::now();
    let dict = std::fs::read_to_string(&args[2]).expect("read dict");
    let (mut befores, mut afters) = (Vec::new(), Vec::new());
    for line in dict.lines() {
        if let Some((b, a)) = line.split_once('\t') {
            befores.push(b);
            afters.push(a);
        }
    }
    let read_dict = ms(t);

    let t = Instant::now();
    let scan = scanner(engine, &befores);
    let build = ms(t);

    let t = Instant::now();
    let text = std::fs::read_to_string(&args[3]).expect("read text");
    let read_text = ms(t);

    let t = Instant::now();
    let matches = scan(&text);
    let scanned = ms(t);

    let t = Instant::now();
    let mut out = String::with_capacity(text.len() + text.len() / 2);
    let mut k = 0;
    for &(s, e, p) in &matches {
        out.push_str(&text[k..s]);
        if gloss {
            out.push_str(&text[s..e]);
            out.push('[');
            out.push_str(afters[p]);
            out.push(']');
        } else {
            out.push_str(afters[p]);
        }
        k = e;
    }
    out.push_str(&text[k..]);
    let output = ms(t);

    let t = Instant::now();
    std::fs::write(&args[4], out.as_bytes()).expect("write output");
    let write = ms(t);

    eprintln!(
        "{engine}: read dict {read_dict:.1} ms, build {build:.1} ms, read text {read_text:.1} ms, scan {scanned:.1} ms, \
output {output:.1} ms, replace {:.1} ms, write {write:.1} ms, total {:.1} ms; {} matches; {} pairs",
        scanned + output,
        ms(start),
        matches.len(),
        befores.len()
    );
}
