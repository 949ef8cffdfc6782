create table t(id int identity -not null-'x'
, f int)