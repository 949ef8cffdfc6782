update fid_Main set f_1='a;b''c' where id=3; -- note ; here
/* block ; */ select top 5 a from t union select b from u; delete from fid_Main where f_1>=100 and [f_2]<>-5;
select count(*) from fid_Main where f_1 like '%x%' and id in (select top 1 id from fid_Main order by id desc)100order by id
